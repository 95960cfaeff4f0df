# The layers' includes point one way: the core (serial/, modbus/, device/) knows no Qt and
# nothing above it; the pages, declared on the device model, know no Qt, no view and no
# application; the view knows no application; the command-line tool knows no Qt, no view and
# no window. Run as: cmake -DROOT=<source dir> -P check_layers.cmake
set(rules
  "serial|modbus|device:^#include <Q|\"app/|\"pages/|\"view/|\"sim/|\"cli/"
  "pages:^#include <Q|\"app/|\"view/|\"sim/|\"cli/"
  "view:\"app/"
  "cli:^#include <Q|\"app/|\"view/|\"sim/")
set(failures "")
foreach(rule ${rules})
  string(REPLACE ":" ";" parts "${rule}")
  list(GET parts 0 dirs)
  list(GET parts 1 pattern)
  string(REPLACE "|" ";" dir_list "${dirs}")
  foreach(dir ${dir_list})
    file(GLOB_RECURSE sources ${ROOT}/${dir}/*.h ${ROOT}/${dir}/*.cpp)
    foreach(source ${sources})
      file(STRINGS ${source} lines REGEX "^#include")
      foreach(line ${lines})
        if(line MATCHES "${pattern}")
          file(RELATIVE_PATH rel ${ROOT} ${source})
          string(APPEND failures "\n  ${rel}: ${line}")
        endif()
      endforeach()
    endforeach()
  endforeach()
endforeach()
if(failures)
  message(FATAL_ERROR "includes against the layering:${failures}")
endif()
