# cmake -DEMULATOR=... -DEDIDGEN=... -DOUT=... -P GenerateProfiles.cmake
# Writes the packaged EDID profiles: the common modes at 60 Hz, and at 75,
# 120, 144 and 165 Hz wherever an EDID base block can describe the mode
# (edidgen refuses the others, whose pixel clock passes 655.35 MHz). Each
# already carries the monitor name TovikMonitor, so that a helper handed a
# profile the program could not rewrite (an install folder the account that
# runs it cannot write) still shows the display the program looks for.
set(sizes 1280x720 1366x768 1600x900 1920x1080 1920x1200 2560x1080 2560x1440 3440x1440 3840x2160)
# Cross-built, edidgen runs through the emulator (Wine); built natively, as is.
set(run ${EDIDGEN})
if(EMULATOR)
  set(run ${EMULATOR} ${EDIDGEN})
endif()
file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${OUT})
set(written 0)
set(refused "")
foreach(size ${sizes})
  foreach(rate 60 75 120 144 165)
    execute_process(COMMAND ${run} ${size}x${rate} --name TovikMonitor -o ${OUT}
      RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE why)
    if(rc EQUAL 0)
      math(EXPR written "${written} + 1")
    elseif(rate EQUAL 60)
      message(FATAL_ERROR "edidgen refused ${size}x60: ${why}")
    else()
      list(APPEND refused ${size}x${rate})
    endif()
  endforeach()
endforeach()
message(STATUS "${written} profiles written to ${OUT}; beyond a base block: ${refused}")
file(WRITE ${OUT}.stamp "${written}\n")
