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

int main(int argc, char** argv) {
  if (argc < 7) return 2;
  modbus_t* ctx = modbus_new_rtu(argv[1], atoi(argv[2]), 'N', 8, 1);
  if (!ctx) return 1;
  modbus_set_slave(ctx, atoi(argv[3]));
  modbus_set_response_timeout(ctx, 1, 0);
  const char* op = argv[4];
  const int reg = (int)strtol(argv[5], NULL, 0), n = argc - 6;
  uint16_t values[125];
  for (int i = 0; i < n && i < 125; ++i) values[i] = (uint16_t)strtol(argv[6 + i], NULL, 0);
  int ok = modbus_connect(ctx) == 0, status = 0;
  if (ok && strcmp(op, "read") == 0 && n == 1 && values[0] >= 1 && values[0] <= 125) {
    const int count = values[0];
    ok = modbus_read_registers(ctx, reg, count, values) == count;
    for (int i = 0; ok && i < count; ++i) printf(i + 1 < count ? "%u " : "%u\n", values[i]);
  } else if (ok && strcmp(op, "write") == 0 && n == 1) {
    ok = modbus_write_register(ctx, reg, values[0]) == 1;
  } else if (ok && strcmp(op, "writemany") == 0 && n <= 123) {
    ok = modbus_write_registers(ctx, reg, n, values) == n;
  } else if (ok) {
    status = 2;
  }
  if (!ok && errno > MODBUS_ENOBASE && errno < MODBUS_ENOBASE + MODBUS_EXCEPTION_MAX) {
    printf("exception %d\n", errno - MODBUS_ENOBASE);
    status = 3;
  } else if (!ok) {
    printf("error %s\n", modbus_strerror(errno));
    status = 1;
  }
  modbus_close(ctx);
  modbus_free(ctx);
  return status;
}
