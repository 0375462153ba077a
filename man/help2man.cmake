# SPDX-License-Identifier: GPL-3.0-or-later
# Writes a program's man page from its own --help and --version, so that the page lists the
# options the program really takes. The program runs by name from its folder, as a user runs it:
# the window's usage line repeats the name it was called by.
# cmake -DHELP2MAN=<help2man> -DPROGRAM=<executable> -DINCLUDE=<file.h2m> -DOUTPUT=<file.1> -P ...
cmake_path(GET PROGRAM PARENT_PATH folder)
cmake_path(GET PROGRAM FILENAME name)
set(ENV{PATH} "${folder}:$ENV{PATH}")
set(ENV{QT_QPA_PLATFORM} offscreen)  # the window's --help needs no display
execute_process(COMMAND ${HELP2MAN} --no-info --section=1 --include=${INCLUDE} --output=${OUTPUT}
                        ${name}
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  file(REMOVE ${OUTPUT})
  message(FATAL_ERROR "help2man ${name}: ${status}")
endif()
