# Rewrites the import library of the 32-bit DLL.  The DLL exports its stdcall
# functions under their plain names (linked with --kill-at), while callers
# compiled against the header refer to the decorated name@N.  The linker's
# own .def output pairs them as "name = name@N"; dlltool -k turns the
# decorated side into an import library that binds name@N to the plain name.
#   cmake -DDEF=... -DDLL=... -DIMPLIB=... -DDLLTOOL=... -P make-stdcall-implib.cmake
file(STRINGS "${DEF}" lines)
set(out "EXPORTS\n")
foreach(line IN LISTS lines)
  if(line MATCHES "^[ \t]*([A-Za-z_][A-Za-z0-9_]*) = ([^ \t]+)(.*)$")
    string(APPEND out "    ${CMAKE_MATCH_2}${CMAKE_MATCH_3}\n")
  elseif(NOT line MATCHES "^EXPORTS" AND line MATCHES "^[ \t]*([A-Za-z_][A-Za-z0-9_@]*)(.*)$")
    string(APPEND out "    ${CMAKE_MATCH_1}${CMAKE_MATCH_2}\n")
  endif()
endforeach()
file(WRITE "${DEF}.decorated" "${out}")
get_filename_component(dllname "${DLL}" NAME)
execute_process(COMMAND "${DLLTOOL}" -k -d "${DEF}.decorated" -D "${dllname}" -l "${IMPLIB}"
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "dlltool failed to write ${IMPLIB}")
endif()
