# SPDX-License-Identifier: GPL-3.0-or-later
# The window started with a data file as its argument shows it imported; started with a file the
# import refuses, it shows what it shows at start-up. Pictures of the same state are equal bytes.
# cmake -DTOLVENAR=<executable> -DSERIES=<good file> -DREFUSED=<refused file> -DOUT=<dir> -P ...
function(picture name)
  execute_process(COMMAND ${TOLVENAR} ${ARGN} --screenshot ${OUT}/${name}.png RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "tolvenar ${ARGN} --screenshot: exit status ${rc}")
  endif()
  file(SHA256 ${OUT}/${name}.png hash)
  set(${name} ${hash} PARENT_SCOPE)
endfunction()

file(MAKE_DIRECTORY ${OUT})
picture(start_up)
picture(series ${SERIES})
picture(refused ${REFUSED})
if(series STREQUAL start_up)
  message(FATAL_ERROR "${SERIES} given as the argument was not imported")
endif()
if(NOT refused STREQUAL start_up)
  message(FATAL_ERROR "the refused ${REFUSED} left the window other than at start-up")
endif()
