# Writes the manual pages of ocam and ocamsim with help2man and the bash
# completion script, into OUT/man1 and OUT/ocam.bash:
#   cmake -DOCAM=<ocam> [-DOCAMSIM=<ocamsim>] -DHELP2MAN=<help2man> -DOUT=<dir> -P docs.cmake
file(REMOVE_RECURSE ${OUT}/man1 ${OUT}/bin)
file(MAKE_DIRECTORY ${OUT}/man1 ${OUT}/bin)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE error)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${ARGN} failed: ${error}")
  endif()
  set(output "${output}" PARENT_SCOPE)
endfunction()

set(common --no-info --section 1 --source "ocamera" --manual "ocamera manual")
run(${HELP2MAN} ${common} --name "drive a networked smart camera from the command line"
    --output ${OUT}/man1/ocam.1 ${OCAM})

# One page per command, as git has: help2man runs a program, so each command
# gets a two-line wrapper named ocam-COMMAND.
run(${OCAM} --version)
string(REGEX REPLACE "^ocam ([^\n]*)\n?$" "\\1" version "${output}")
run(${OCAM} --help)
string(REGEX MATCHALL "\n  [a-z]+ +[^\n]+" lines "${output}")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^\n  ([a-z]+) +(.*)$" "\\1" command "${line}")
  string(REGEX REPLACE "^\n  ([a-z]+) +(.*)$" "\\2" summary "${line}")
  set(wrapper ${OUT}/bin/ocam-${command})
  file(WRITE ${wrapper} "#!/bin/sh\nexec \"${OCAM}\" ${command} \"$@\"\n")
  file(CHMOD ${wrapper} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE)
  string(TOLOWER "${summary}" name)
  run(${HELP2MAN} ${common} --name "${name}" --version-string "ocam-${command} ${version}"
      --output ${OUT}/man1/ocam-${command}.1 ${wrapper})
endforeach()

if(OCAMSIM)
  run(${HELP2MAN} ${common} --name "simulated networked smart camera for ocamera and ocam"
      --output ${OUT}/man1/ocamsim.1 ${OCAMSIM})
endif()

run(${OCAM} --bash-completion)
file(WRITE ${OUT}/ocam.bash "${output}")
file(REMOVE_RECURSE ${OUT}/bin)
file(WRITE ${OUT}/stamp "")
