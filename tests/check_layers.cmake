# The layers' includes point one way: the core (serial/, modbus/, device/) knows no Qt and
# nothing above it; the pages, declared on the device model, know no Qt, no view and no
# application; the view knows no application; the command-line tool knows no Qt, no view and
# no window; nothing above the core includes a POSIX header outside code kept from Windows.
# Run as: cmake -DROOT=<source dir> -P check_layers.cmake
cmake_minimum_required(VERSION 3.25)
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
# No POSIX header above the core, so the window and the command-line tool build for Windows:
# view/ and app/ include none; cli/ only where #ifdef _WIN32 says the code is not for Windows.
set(posix "^#include <((unistd|fcntl|poll|termios|dirent|pwd|grp|netdb|pty|dlfcn|syslog|libgen)\\.h|(sys|netinet|arpa)/)")
foreach(dir view app cli)
  file(GLOB_RECURSE sources ${ROOT}/${dir}/*.h ${ROOT}/${dir}/*.cpp)
  foreach(source ${sources})
    file(STRINGS ${source} lines REGEX "^#[ ]*(if|ifdef|ifndef|elif|else|endif|include)")
    set(stack "")  # per open #if: posix (not for Windows), windows or other
    foreach(line ${lines})
      if(line MATCHES "^#[ ]*ifdef[ ]+_WIN32")
        list(APPEND stack windows)
      elseif(line MATCHES "^#[ ]*ifndef[ ]+_WIN32")
        list(APPEND stack posix)
      elseif(line MATCHES "^#[ ]*if")
        list(APPEND stack other)
      elseif(line MATCHES "^#[ ]*else" AND stack)
        list(POP_BACK stack top)
        if(top STREQUAL "windows")
          list(APPEND stack posix)
        elseif(top STREQUAL "posix")
          list(APPEND stack windows)
        else()
          list(APPEND stack other)
        endif()
      elseif(line MATCHES "^#[ ]*endif" AND stack)
        list(POP_BACK stack)
      elseif(line MATCHES "${posix}" AND NOT "posix" IN_LIST stack)
        file(RELATIVE_PATH rel ${ROOT} ${source})
        string(APPEND failures "\n  ${rel}: ${line} (a POSIX header where Windows builds too)")
      endif()
    endforeach()
  endforeach()
endforeach()

if(failures)
  message(FATAL_ERROR "includes against the layering:${failures}")
endif()
