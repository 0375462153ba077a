# SPDX-License-Identifier: GPL-3.0-or-later
# The window started with a data file as its argument shows it imported, and with a file the
# import refuses, as at start-up: pictures of one state are equal bytes.
foreach(run start_up series refused)
  execute_process(COMMAND ${TOLVENAR} ${${run}} --screenshot ${OUT}${run}.png
                  COMMAND_ERROR_IS_FATAL ANY)
  file(SHA256 ${OUT}${run}.png ${run}_shown)
endforeach()
if(series_shown STREQUAL start_up_shown OR NOT refused_shown STREQUAL start_up_shown)
  message(FATAL_ERROR "${series} not imported, or ${refused} not refused as the window starts")
endif()
