# Compiles every C++ source of the DLL with clang for the DLL's target at
# -O0 (run by ctest as cmake -P). An inline asm operand whose constraint
# string lets the compiler choose memory ("=rm", or a letter such as o or m
# that a rename slipped in) gets memory from clang at -O0, where GCC still
# picks the register: an instruction that takes no memory operand there then
# fails to assemble. GCC builds the DLL and never reports such a constraint,
# so this is where it shows.
#
#   cmake -DCLANG=clang++ -DTARGET=i686-w64-windows-gnu -DSOURCES="a.cpp|b.rc|..."
#         -DINCLUDES="dir|dir" -DWORK=dir -P CheckAsmConstraints.cmake
# SOURCES are the targets' sources as CMake lists them; all but the C++ ones
# are passed over.
cmake_policy(SET CMP0057 NEW)
foreach(var CLANG TARGET SOURCES INCLUDES WORK)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "CheckAsmConstraints: ${var} not given")
  endif()
endforeach()
if(NOT CLANG OR CLANG MATCHES "NOTFOUND$")
  message(FATAL_ERROR "no clang: the DLL's asm constraints cannot be checked (scripts/setup-deps.sh installs it)")
endif()

string(REPLACE "|" ";" sources "${SOURCES}")
list(FILTER sources INCLUDE REGEX "\\.cpp$")
string(REPLACE "|" ";" includes "${INCLUDES}")
list(REMOVE_DUPLICATES sources)
set(flags --target=${TARGET} -std=c++17 -O0 -fno-exceptions -fno-rtti -w -DORVANDEL_BUILDING)
foreach(dir IN LISTS includes)
  list(APPEND flags -I${dir})
endforeach()

file(MAKE_DIRECTORY ${WORK})
set(failures "")
set(checked 0)
foreach(source IN LISTS sources)
  get_filename_component(name ${source} NAME)
  execute_process(COMMAND ${CLANG} ${flags} -c ${source} -o ${WORK}/${name}.o
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  math(EXPR checked "${checked} + 1")
  if(NOT rc EQUAL 0)
    string(APPEND failures "${out}")
  endif()
endforeach()
if(failures)
  message(FATAL_ERROR "${failures}")
endif()
message(STATUS "${checked} sources of the DLL assemble with every asm operand where clang puts it at -O0")
