# What a Windows host needs besides the DLL: the exports file, the version
# resource, import libraries for both toolchains, the header, and an install
# tree with a CMake package (find_package(Orvandel) -> Orvandel::Orvandel).
# The install tree is what scripts/package.sh zips, one zip per architecture.
#
# Included from the top level once the DLL target `Orvandel` exists.

include(CMakePackageConfigHelpers)
include(GNUInstallDirs)

set(_orv_def ${PROJECT_SOURCE_DIR}/msgbox/orvandel.def)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  # x86_64 has one calling convention and no stdcall decoration, and
  # dlltool keeps a name's @28 in the symbols even with -k there.
  file(READ ${_orv_def} _orv_def_text)
  string(REPLACE "@28" "" _orv_def_text "${_orv_def_text}")
  file(WRITE ${PROJECT_BINARY_DIR}/generated/orvandel.def "${_orv_def_text}")
  set(_orv_def ${PROJECT_BINARY_DIR}/generated/orvandel.def)
endif()

# The version resource. Its copyright line is LICENSE's own.
enable_language(RC)
file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE ORVANDEL_COPYRIGHT REGEX "^Copyright " LIMIT_COUNT 1)
if(NOT ORVANDEL_COPYRIGHT)
  message(FATAL_ERROR "LICENSE has no Copyright line for the version resource")
endif()
configure_file(${PROJECT_SOURCE_DIR}/msgbox/orvandel_version.h.in
               ${PROJECT_BINARY_DIR}/generated/orvandel_version.h @ONLY)
target_sources(Orvandel PRIVATE ${PROJECT_SOURCE_DIR}/msgbox/orvandel.rc)
set_property(SOURCE ${PROJECT_SOURCE_DIR}/msgbox/orvandel.rc APPEND PROPERTY
             INCLUDE_DIRECTORIES ${PROJECT_BINARY_DIR}/generated)
target_include_directories(Orvandel PRIVATE ${PROJECT_BINARY_DIR}/generated)

# The stdcall name is exported without its @28.
target_sources(Orvandel PRIVATE ${_orv_def})
target_link_options(Orvandel PRIVATE -Wl,--kill-at)
# No link time in the PE and export headers: the same sources give the same
# DLL, so a released zip can be rebuilt and compared byte for byte.
target_link_options(Orvandel PRIVATE -Wl,--no-insert-timestamp)
target_compile_definitions(Orvandel PRIVATE ORVANDEL_BUILDING)
target_include_directories(Orvandel PUBLIC $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>)
set_target_properties(Orvandel PROPERTIES PREFIX "" OUTPUT_NAME Orvandel)

# Import libraries, both made from the .def rather than taken from the
# linker, so they name exactly the exports the DLL has.
#  - libOrvandel.dll.a: GNU dlltool's format, for MinGW hosts.
#  - Orvandel.lib: the short import format that lib.exe writes, with the
#    "undecorate" name type (llvm-dlltool), for MSVC link.exe and lld-link.
find_program(ORVANDEL_DLLTOOL NAMES ${ORVANDEL_MINGW_PREFIX}-dlltool i686-w64-mingw32-dlltool REQUIRED)
find_program(ORVANDEL_LLVM_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14)
# A folder of their own: the linker's --out-implib for the DLL (undecorated
# symbols, useless to a stdcall caller) would otherwise overwrite the .a.
set(ORVANDEL_IMPLIB_DIR ${PROJECT_BINARY_DIR}/implib)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(_orv_machine i386:x86-64)
else()
  set(_orv_machine i386)
endif()
file(MAKE_DIRECTORY ${ORVANDEL_IMPLIB_DIR})
set(ORVANDEL_IMPLIB_MINGW ${ORVANDEL_IMPLIB_DIR}/libOrvandel.dll.a)
set(ORVANDEL_IMPLIB_MSVC ${ORVANDEL_IMPLIB_DIR}/Orvandel.lib)
set(_orv_implibs ${ORVANDEL_IMPLIB_MINGW})
# dlltool names the archive's members and symbols after the path given to
# -l: a bare file name keeps the build folder out of the library (and out of
# every host linked with it), so any checkout builds the same bytes.
add_custom_command(
  OUTPUT ${ORVANDEL_IMPLIB_MINGW}
  COMMAND ${ORVANDEL_DLLTOOL} -m ${_orv_machine} -k -d ${_orv_def} -l libOrvandel.dll.a
  WORKING_DIRECTORY ${ORVANDEL_IMPLIB_DIR}
  DEPENDS ${_orv_def}
  COMMENT "Import library for MinGW hosts")
if(ORVANDEL_LLVM_DLLTOOL)
  add_custom_command(
    OUTPUT ${ORVANDEL_IMPLIB_MSVC}
    COMMAND ${ORVANDEL_LLVM_DLLTOOL} -m ${_orv_machine} -k -d ${_orv_def} -l Orvandel.lib
    WORKING_DIRECTORY ${ORVANDEL_IMPLIB_DIR}
    DEPENDS ${_orv_def}
    COMMENT "Import library for MSVC hosts")
  list(APPEND _orv_implibs ${ORVANDEL_IMPLIB_MSVC})
else()
  message(WARNING "llvm-dlltool not found: no Orvandel.lib for MSVC hosts")
endif()
add_custom_target(orvandel_implibs ALL DEPENDS ${_orv_implibs})

# Hosts inside this build link the DLL through the dlltool import library,
# the way an outside MinGW host does.
add_library(Orvandel::Orvandel SHARED IMPORTED GLOBAL)
set_target_properties(Orvandel::Orvandel PROPERTIES
  IMPORTED_LOCATION $<TARGET_FILE:Orvandel>
  IMPORTED_IMPLIB ${ORVANDEL_IMPLIB_MINGW}
  INTERFACE_INCLUDE_DIRECTORIES ${PROJECT_SOURCE_DIR}/include)
add_library(orvandel_host_link INTERFACE)
target_link_libraries(orvandel_host_link INTERFACE Orvandel::Orvandel)
add_dependencies(orvandel_host_link Orvandel orvandel_implibs)

# --- install ---------------------------------------------------------------
install(TARGETS Orvandel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${_orv_implibs} DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/orvandel.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
set(_orv_pkgdir ${CMAKE_INSTALL_LIBDIR}/cmake/Orvandel)
# The package is for hosts of the DLL's own architecture.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(ORVANDEL_ARCH win64)
  set(ORVANDEL_HOST_ARCH "x64 (64-bit)")
else()
  set(ORVANDEL_ARCH win32)
  set(ORVANDEL_HOST_ARCH "x86 (32-bit)")
endif()
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/OrvandelConfig.cmake.in
  ${PROJECT_BINARY_DIR}/OrvandelConfig.cmake INSTALL_DESTINATION ${_orv_pkgdir}
  PATH_VARS CMAKE_INSTALL_BINDIR CMAKE_INSTALL_LIBDIR CMAKE_INSTALL_INCLUDEDIR)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/OrvandelConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/OrvandelConfig.cmake
              ${PROJECT_BINARY_DIR}/OrvandelConfigVersion.cmake
        DESTINATION ${_orv_pkgdir})

# The zip's name, for scripts/package.sh: the project version is the one
# version, as in the version resource and the package version file.
file(WRITE ${PROJECT_BINARY_DIR}/package-name.txt "Orvandel-${PROJECT_VERSION}-${ORVANDEL_ARCH}\n")
