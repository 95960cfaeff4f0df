// Switch-type alarm detectors: one status register compared with a normal and a warning code.
#include "pages/climate/climate_pages.h"

namespace tamsu {

PageDeclaration WaterLeakPage() {
  return {
        .name = "WaterLeakPage",
        .rows = {
          {.caption = "Status", .edit = 1028, .inquire = 1029, .read = Status(0x0002, 1, 2)},
        },
        .realTime = {.id = 1030},
        .poll = {1028},
      };
}

PageDeclaration SmokePage() {
  return {
        .name = "SmokePage",
        .rows = {
          {.caption = "Status", .edit = 1019, .inquire = 1020, .read = Status(0x0003, 0, 1)},
        },
        .realTime = {.id = 1021},
        .poll = {1019},
      };
}

PageDeclaration InfraredPage() {
  return {
        .name = "InfraredPage",
        .rows = {
          {.caption = "Status", .edit = 1025, .inquire = 1026, .read = Status(0x0003, 0, 1)},
        },
        .realTime = {.id = 1027, .message = "Please open the seiral port first!"},
        .poll = {1025},
      };
}

}  // namespace tamsu
