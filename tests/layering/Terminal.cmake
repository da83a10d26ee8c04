# Fails on a write to the terminal (stdout, stderr) from a file that is not listed below. The log is the
# one road for what the program says: its formatting escapes every value, so nothing from outside (a
# path, a name, an argument) can start a line. A file listed here writes to the terminal itself and
# escapes each value with plat::Printable; a new one is listed once it does.
# Usage: cmake -DROOT=<source tree> -P Terminal.cmake

set(WRITERS
  core/Log.cpp                   # the log's console, and where no log can be written
  platform/MessageBox.cpp        # a box that cannot show is printed
  benchmark/Application.cpp      # unknown switches, as typed
  benchmark/program/Main.cpp     # a stop that was not honoured in time
  confdlg/ConfDlg.cpp            # settings that cannot be remembered
  tools/tvpack.cpp               # hands the terminal to the packer, which escapes every name
  tools/dataset/BuildDataSet.cpp
  confdlg/banner/MakeBanner.cpp)
set(FOLDERS platform gfxkit core app_framework devices script lightwave render benchmark confdlg tools)

set(patterns
  "(^|[^A-Za-z0-9_])(stdout|stderr|STDOUT_FILENO|STDERR_FILENO)([^A-Za-z0-9_]|$)"
  "std::(cout|cerr|clog)([^A-Za-z0-9_]|$)"
  "(^|[^A-Za-z0-9_])(printf|puts|perror|putchar|vprintf)[ \t]*\\("
  "(^|[^A-Za-z0-9_])(write|dprintf|vdprintf)[ \t]*\\([ \t]*[12][ \t]*,")

set(globs "")
foreach(folder ${FOLDERS})
  list(APPEND globs ${ROOT}/${folder}/*.h ${ROOT}/${folder}/*.cpp ${ROOT}/${folder}/*.c)
endforeach()
file(GLOB_RECURSE sources RELATIVE ${ROOT} ${globs})
set(faults "")
set(found "")
foreach(source ${sources})
  file(STRINGS ${ROOT}/${source} lines)
  foreach(line ${lines})
    string(REGEX REPLACE "//.*$" "" code "${line}")  # comments say "stderr" without writing to it
    foreach(pattern ${patterns})
      if(code MATCHES "${pattern}")
        list(FIND WRITERS ${source} listed)
        if(listed EQUAL -1)
          list(APPEND faults "${source}: ${line}")
        else()
          list(APPEND found ${source})
        endif()
        break()
      endif()
    endforeach()
  endforeach()
endforeach()

if(faults)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "Writes to the terminal outside the log (escape each value, then list the file):\n  ${text}")
endif()
if(NOT found)
  message(FATAL_ERROR "No write to the terminal found under ${ROOT}: the scan no longer sees them")
endif()
list(REMOVE_DUPLICATES found)
list(LENGTH found count)
message(STATUS "${count} files write to the terminal, each of them listed")
