# install.cmake - what "cmake --install" puts where (GNU directory layout), the pkg-config file,
# the CMake package (kavutil::kavutil), the HTML reference, and CPack: Debian packages on POSIX,
# a zip on Windows.  Included from the top CMakeLists.txt after the library and kav targets.
#
# Components: runtime (the shared library, the PAM service file), development (header, static
# library, import libraries and .def, pkg-config and CMake files), tools (kav and its man page),
# doc (the reference of the C interface, README and licence).
#
# KAV_DEBIAN_PACKAGE (set by "make package") installs what Debian packages hold besides: each
# package's copyright file and changelog under /usr/share/doc/<package>, and the manual page
# compressed, both with gzip -9n.
include(CMakePackageConfigHelpers)
option(KAV_DEBIAN_PACKAGE "Install the Debian packages' own files (copyright, changelog)" OFF)
if(KAV_DEBIAN_PACKAGE)
  set(CMAKE_INSTALL_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/libkavutil-doc)
endif()

# The header's version macros must name the project's version.
file(STRINGS ${PROJECT_SOURCE_DIR}/include/kavutil.h header_version
     REGEX "^#define KAVUTIL_VERSION_(MAJOR|MINOR|PATCH|STRING) ")
set(project_version "#define KAVUTIL_VERSION_MAJOR ${PROJECT_VERSION_MAJOR}"
    "#define KAVUTIL_VERSION_MINOR ${PROJECT_VERSION_MINOR}"
    "#define KAVUTIL_VERSION_PATCH ${PROJECT_VERSION_PATCH}"
    "#define KAVUTIL_VERSION_STRING \"${PROJECT_VERSION}\"")
if(NOT header_version STREQUAL project_version)
  message(FATAL_ERROR "include/kavutil.h has the version macros [${header_version}]; "
                      "project(VERSION ${PROJECT_VERSION}) wants [${project_version}]")
endif()
# And so must the man page's title line.
file(STRINGS ${PROJECT_SOURCE_DIR}/docs/kav.1 man_title REGEX "^\\.TH ")
if(NOT man_title MATCHES "\"kavutil ${PROJECT_VERSION}\"")
  message(FATAL_ERROR "docs/kav.1 has [${man_title}]; it must name \"kavutil ${PROJECT_VERSION}\"")
endif()

set(cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/kavutil)
set_target_properties(kavutil_static PROPERTIES EXPORT_NAME kavutil_static)
install(TARGETS kavutil kavutil_static EXPORT kavutil-targets
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime
                NAMELINK_COMPONENT development
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/kavutil.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)
install(TARGETS kav RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
# A stripped install (CPack's CPACK_STRIP_FILES) strips programs and shared libraries; the
# static library loses its debug sections too.
install(CODE "if(CMAKE_INSTALL_DO_STRIP)
  execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-debug
    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/$<TARGET_FILE_NAME:kavutil_static>\")
endif()" COMPONENT development)
install(EXPORT kavutil-targets NAMESPACE kavutil:: DESTINATION ${cmake_dir}
        COMPONENT development)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/kavutil-config.cmake.in
                              kavutil-config.cmake INSTALL_DESTINATION ${cmake_dir})
write_basic_package_version_file(kavutil-config-version.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/kavutil-config.cmake
              ${PROJECT_BINARY_DIR}/kavutil-config-version.cmake
        DESTINATION ${cmake_dir} COMPONENT development)

# pkg-config: on POSIX the prefix is the one the files are installed under, written at install
# time, so that "cmake --install --prefix" and the packages' /usr describe themselves with plain
# paths (-I/usr/include, which pkg-config leaves out as a system directory).  The Windows zip is
# unpacked anywhere: its prefix is found from the .pc file's own place.  Libs.private is what a
# static link adds: the C++ runtime, and the system libraries the objects call.
if(WIN32)
  file(RELATIVE_PATH pc_prefix /root/${CMAKE_INSTALL_LIBDIR}/pkgconfig /root)
  string(REGEX REPLACE "/$" "" pc_prefix "\${pcfiledir}/${pc_prefix}")
else()
  set(pc_prefix "@KAV_INSTALL_PREFIX@")  # replaced when installing
endif()
set(pc_private "-lstdc++ -lpthread")
set(pc_cflags_private "")
if(WIN32)
  set(pc_cflags_private "Cflags.private: -DKAVUTIL_STATIC\n")  # pkgconf's --static
endif()
foreach(library ${KAV_SYSTEM_LIBS})
  if(NOT library MATCHES "::")  # Threads::Threads is the -lpthread above
    string(APPEND pc_private " -l${library}")
  endif()
endforeach()
configure_file(${PROJECT_SOURCE_DIR}/cmake/kavutil.pc.in kavutil.pc @ONLY)
if(WIN32)
  install(FILES ${PROJECT_BINARY_DIR}/kavutil.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
          COMPONENT development)
else()
  install(CODE "file(READ \"${PROJECT_BINARY_DIR}/kavutil.pc\" pc)
string(REPLACE \"@KAV_INSTALL_PREFIX@\" \"\${CMAKE_INSTALL_PREFIX}\" pc \"\${pc}\")
set(pc_file \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig/kavutil.pc\")
message(STATUS \"Installing: \${pc_file}\")
file(WRITE \"\${pc_file}\" \"\${pc}\")" COMPONENT development)
endif()

# The reference of the C interface (docs/Doxyfile), built with the library when Doxygen is
# there, and installed with its README and licence; the zip has these two at its top.
find_program(KAV_DOXYGEN doxygen)
if(KAV_DOXYGEN AND PROJECT_IS_TOP_LEVEL)
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/docs/html/index.html
    COMMAND sh -c "{ cat docs/Doxyfile; echo 'OUTPUT_DIRECTORY = ${PROJECT_BINARY_DIR}/docs'; } | \"$0\" -" ${KAV_DOXYGEN}
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    DEPENDS ${PROJECT_SOURCE_DIR}/docs/Doxyfile ${PROJECT_SOURCE_DIR}/docs/mainpage.md
            ${PROJECT_SOURCE_DIR}/docs/porting.md ${PROJECT_SOURCE_DIR}/include/kavutil.h
    COMMENT "Writing the reference: docs/html" VERBATIM)
  add_custom_target(reference ALL DEPENDS ${PROJECT_BINARY_DIR}/docs/html/index.html)
  install(DIRECTORY ${PROJECT_BINARY_DIR}/docs/html DESTINATION ${CMAKE_INSTALL_DOCDIR}
          COMPONENT doc)
endif()
if(WIN32)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION .
          COMPONENT doc)
elseif(NOT KAV_DEBIAN_PACKAGE)  # the Debian packages carry the licence in their copyright file
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
          DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT doc)
endif()

if(WIN32)
  install(FILES ${KAV_DEF} DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
  if(KAV_MSVC_IMPLIB)
    install(FILES ${KAV_MSVC_IMPLIB} DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
  endif()
elseif(KAV_DEBIAN_PACKAGE)
  # Each package's copyright file and changelog, and the manual page, compressed as Debian
  # wants them (gzip -9n: no name or time stamp in the header).
  set(debian ${PROJECT_BINARY_DIR}/debian)
  add_custom_command(OUTPUT ${debian}/changelog.Debian.gz ${debian}/kav.1.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${debian}
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/cmake/debian/changelog
            ${debian}/changelog.Debian
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/docs/kav.1 ${debian}/kav.1
    COMMAND gzip -9nf ${debian}/changelog.Debian ${debian}/kav.1
    DEPENDS ${PROJECT_SOURCE_DIR}/cmake/debian/changelog ${PROJECT_SOURCE_DIR}/docs/kav.1
    VERBATIM)
  add_custom_target(debian_files ALL DEPENDS ${debian}/changelog.Debian.gz ${debian}/kav.1.gz)
  foreach(pair runtime:libkavutil1 development:libkavutil-dev tools:kavutil-tools
               doc:libkavutil-doc)
    string(REPLACE ":" ";" pair ${pair})
    list(GET pair 0 component)
    list(GET pair 1 package)
    install(FILES ${PROJECT_SOURCE_DIR}/cmake/debian/copyright ${debian}/changelog.Debian.gz
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component})
    install(FILES ${PROJECT_SOURCE_DIR}/cmake/debian/${package}.lintian-overrides
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME ${package}
            COMPONENT ${component})
  endforeach()
  install(FILES ${debian}/kav.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)
else()
  install(FILES ${PROJECT_SOURCE_DIR}/docs/kav.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
          COMPONENT tools)
endif()
if(NOT WIN32)
  # The PAM service kav_winexec_as_user logs users on through.  PAM reads /etc/pam.d: that is
  # where it goes for the prefixes whose sysconfdir is /etc (/usr, as the Debian package has),
  # and under the prefix otherwise (/usr/local/etc/pam.d, or a test's temporary prefix).
  if(CMAKE_INSTALL_FULL_SYSCONFDIR STREQUAL "/etc")
    set(pam_dir /etc/pam.d)
  else()
    set(pam_dir ${CMAKE_INSTALL_SYSCONFDIR}/pam.d)
  endif()
  set(KAV_PAM_DIR ${pam_dir} CACHE PATH "Where the PAM service file is installed")
  install(FILES ${PROJECT_SOURCE_DIR}/platform/posix/kavutil.pam DESTINATION ${KAV_PAM_DIR}
          RENAME kavutil COMPONENT runtime)
endif()

if(NOT PROJECT_IS_TOP_LEVEL)
  return()  # the parent project packages itself
endif()

# CPack: three Debian packages, or one zip for Windows (kavutil-<version>-win32.zip, -win64).
set(CPACK_PACKAGE_NAME kavutil)
set(CPACK_PACKAGE_VENDOR "kavutil developers")
set(CPACK_PACKAGE_CONTACT "kavutil developers <kavutil@example.org>")
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "")  # each package's description has its own synopsis
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
  # Programs built against 1.0.0 run with any later 1.x: the shlibs file (our own; CPack's
  # would ask for this very Debian revision) asks for at least the upstream version.
  configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/shlibs.in debian/shlibs @ONLY)
  set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
  set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/debian/finish-packages.cmake)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libkavutil1)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_RECOMMENDS "libpam0g")
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_SUGGESTS "libgs10, libmariadb3")
  # The PAM file is a conffile; ldconfig runs once the library is unpacked.
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/cmake/debian/conffiles
      ${PROJECT_SOURCE_DIR}/cmake/debian/triggers ${PROJECT_BINARY_DIR}/debian/shlibs)
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libkavutil-dev)
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SUGGESTS libkavutil-doc)
  set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME kavutil-tools)
  set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_DOC_PACKAGE_NAME libkavutil-doc)
  set(CPACK_DEBIAN_DOC_PACKAGE_SECTION doc)
  set(CPACK_DEBIAN_DOC_PACKAGE_ARCHITECTURE all)
  set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS runtime)  # the very same version
  # kav holds the library (it links the static one) but logs users on through the PAM service
  # file that libkavutil1 installs, from this version on.
  set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "libkavutil1 (>= ${PROJECT_VERSION})")
  set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "kavutil utility library: profiles, text, containers, files, cheques\n\
The library the KAV document-output programs load for what is not their own\n\
business: INI profiles per product version, its own environment, an error log,\n\
text engines, containers, file chores, process launching, serial ports and\n\
cheque output.  This package holds libkavutil.so.1 and the PAM service it logs\n\
users on through.")
  set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "kavutil utility library: development files\n\
The C header, the static library, the pkg-config file and the CMake package\n\
(find_package(kavutil) gives kavutil::kavutil).")
  set(CPACK_DEBIAN_TOOLS_DESCRIPTION "command-line tool of the kavutil library\n\
kav runs the library's functions from the shell: profiles, environment\n\
expansion, text, files, processes and cheque output; see kav(1).")
  set(CPACK_DEBIAN_DOC_DESCRIPTION "kavutil utility library: reference manual\n\
The HTML reference of the C interface of kavutil: every exported function,\n\
record and macro, with a front page, a search and the porting guide.")
endif()
include(CPack)
