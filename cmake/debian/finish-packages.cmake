# finish-packages.cmake - CPack's last step for the Debian packages (CPACK_POST_BUILD_SCRIPTS).
# CPack gives every package that holds a shared library postinst and postrm scripts that call
# ldconfig; libkavutil1 has an ldconfig trigger instead (cmake/debian/triggers), which Debian
# policy asks for, so the scripts come out again: the package is unpacked and rebuilt without
# them.
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(NOT package MATCHES "/libkavutil1_[^/]*\\.deb$")
    continue()
  endif()
  set(tree "${package}.tree")
  file(REMOVE_RECURSE "${tree}")
  execute_process(COMMAND dpkg-deb -R "${package}" "${tree}" RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "dpkg-deb -R ${package} failed")
  endif()
  file(REMOVE "${tree}/DEBIAN/postinst" "${tree}/DEBIAN/postrm")
  execute_process(COMMAND dpkg-deb --root-owner-group -b "${tree}" "${package}"
                  OUTPUT_QUIET RESULT_VARIABLE rc)
  file(REMOVE_RECURSE "${tree}")
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "dpkg-deb -b ${package} failed")
  endif()
endforeach()
