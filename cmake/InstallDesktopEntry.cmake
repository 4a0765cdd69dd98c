# Runs at install time (install(CODE) includes it), so the entry follows the
# prefix given to `cmake --install --prefix` as well as the configured one.
# Inputs: ZIMBREL_ENTRY_TEMPLATE, ZIMBREL_ENTRY_OUTPUT, ZIMBREL_BINDIR, ZIMBREL_APPSDIR.
#
# A launcher finds programs in /usr/bin and /usr/local/bin by name; anywhere
# else the entry names the installed file, quoted as the desktop entry
# format asks when the path holds spaces or other reserved characters.

function(zimbrel_exec_value path out)
  if(path MATCHES "[\n\r]")
    message(FATAL_ERROR "Cannot name ${path} in a desktop entry: it holds a line break")
  endif()
  set(value "${path}")
  string(REPLACE "%" "%%" value "${value}")
  if(value MATCHES "[] \t\"'\\\\><~|&;$*?#()`[]")
    string(REPLACE "\\" "\\\\" value "${value}")
    string(REPLACE "\"" "\\\"" value "${value}")
    string(REPLACE "`" "\\`" value "${value}")
    string(REPLACE "$" "\\$" value "${value}")
    set(value "\"${value}\"")
    # String values escape backslashes once more on top of the quoting.
    string(REPLACE "\\" "\\\\" value "${value}")
  endif()
  set(${out} "${value}" PARENT_SCOPE)
endfunction()

if(IS_ABSOLUTE "${ZIMBREL_BINDIR}")
  set(bindir "${ZIMBREL_BINDIR}")
else()
  set(bindir "${CMAKE_INSTALL_PREFIX}/${ZIMBREL_BINDIR}")
endif()
if(IS_ABSOLUTE "${ZIMBREL_APPSDIR}")
  set(appsdir "${ZIMBREL_APPSDIR}")
else()
  set(appsdir "${CMAKE_INSTALL_PREFIX}/${ZIMBREL_APPSDIR}")
endif()

if(bindir STREQUAL "/usr/bin" OR bindir STREQUAL "/usr/local/bin")
  set(ZIMBREL_EXEC zimbrel)
  set(ZIMBREL_TRYEXEC zimbrel)
  set(ZIMBREL_CONTROL_EXEC zimbrel-control)
else()
  zimbrel_exec_value("${bindir}/zimbrel" ZIMBREL_EXEC)
  zimbrel_exec_value("${bindir}/zimbrel-control" ZIMBREL_CONTROL_EXEC)
  # TryExec is a plain string: no quoting, only the backslash escape.
  string(REPLACE "\\" "\\\\" ZIMBREL_TRYEXEC "${bindir}/zimbrel")
endif()

configure_file("${ZIMBREL_ENTRY_TEMPLATE}" "${ZIMBREL_ENTRY_OUTPUT}" @ONLY)
file(INSTALL DESTINATION "${appsdir}" TYPE FILE FILES "${ZIMBREL_ENTRY_OUTPUT}")
