# Each program as a user calls it: --help and --version print and succeed, an
# unknown option is a usage error (exit status 2) that names the option.
foreach(program ${VIEWER} ${RENDER} ${BIFS})
  get_filename_component(name ${program} NAME)
  foreach(run "--help;0;usage: ${name}" "--version;0;${name} ${VERSION}"
              "--no-such-option;2;unknown option --no-such-option")
    list(GET run 0 arg)
    list(GET run 1 expected)
    list(GET run 2 text)
    execute_process(COMMAND ${program} ${arg} RESULT_VARIABLE rc OUTPUT_VARIABLE out
                    ERROR_VARIABLE err)
    if(NOT rc STREQUAL expected)
      message(FATAL_ERROR "${name} ${arg}: exit status ${rc}, expected ${expected}\n${out}${err}")
    endif()
    string(FIND "${out}${err}" "${text}" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "${name} ${arg}: no \"${text}\" in\n${out}${err}")
    endif()
  endforeach()
endforeach()
