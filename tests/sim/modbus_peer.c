/* A Modbus RTU master on libmodbus, for checking the simulator against a peer we did not
 * write. Usage:
 *   modbus_peer PATH BAUD ADDRESS read REG COUNT      prints the values, one line
 *   modbus_peer PATH BAUD ADDRESS write REG VALUE     function 06
 *   modbus_peer PATH BAUD ADDRESS writemany REG V...  function 16
 * Exit 0 on success; 3 with "exception N" for an exception reply; 1 for any other failure. */
#include <errno.h>
#include <modbus.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int fail(modbus_t* ctx) {
  if (errno > MODBUS_ENOBASE && errno < MODBUS_ENOBASE + MODBUS_EXCEPTION_MAX) {
    printf("exception %d\n", errno - MODBUS_ENOBASE);
    modbus_close(ctx);
    modbus_free(ctx);
    return 3;
  }
  printf("error %s\n", modbus_strerror(errno));
  modbus_close(ctx);
  modbus_free(ctx);
  return 1;
}

int main(int argc, char** argv) {
  if (argc < 6) return 2;
  modbus_t* ctx = modbus_new_rtu(argv[1], atoi(argv[2]), 'N', 8, 1);
  if (!ctx) return 1;
  modbus_set_slave(ctx, atoi(argv[3]));
  modbus_set_response_timeout(ctx, 1, 0);
  if (modbus_connect(ctx) != 0) return fail(ctx);
  const char* op = argv[4];
  const int reg = (int)strtol(argv[5], NULL, 0);
  uint16_t values[125];
  if (strcmp(op, "read") == 0 && argc == 7) {
    const int n = atoi(argv[6]);
    if (n < 1 || n > 125) return 2;
    if (modbus_read_registers(ctx, reg, n, values) != n) return fail(ctx);
    for (int i = 0; i < n; ++i) printf(i ? " %u" : "%u", values[i]);
    printf("\n");
  } else if (strcmp(op, "write") == 0 && argc == 7) {
    if (modbus_write_register(ctx, reg, (uint16_t)strtol(argv[6], NULL, 0)) != 1) return fail(ctx);
  } else if (strcmp(op, "writemany") == 0 && argc > 6 && argc - 6 <= 123) {
    const int n = argc - 6;
    for (int i = 0; i < n; ++i) values[i] = (uint16_t)strtol(argv[6 + i], NULL, 0);
    if (modbus_write_registers(ctx, reg, n, values) != n) return fail(ctx);
  } else {
    return 2;
  }
  modbus_close(ctx);
  modbus_free(ctx);
  return 0;
}
