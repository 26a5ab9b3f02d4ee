# The operator's package: displayprep-<version>-win64.zip with displayprep.exe,
# the pre-flight check displayprep-check.exe, an edid folder of profiles generated for the common modes,
# edidgen.exe (its import makes profiles of the operator's own monitors) and
# README-operators.md. Nothing of the simulated stack, no test program, no
# helper of ours: what stands beside the program on a real machine (wkex.exe,
# the companion) is the operator's. scripts/package.sh builds it (target
# package_zip); the test package.run runs what it holds.
set(DP_PACKAGE_EDID ${CMAKE_BINARY_DIR}/package-edid)
add_custom_command(
  OUTPUT ${DP_PACKAGE_EDID}.stamp
  COMMAND ${CMAKE_COMMAND} -DEMULATOR=${CMAKE_CROSSCOMPILING_EMULATOR}
          -DEDIDGEN=$<TARGET_FILE:edidgen> -DOUT=${DP_PACKAGE_EDID}
          -P ${PROJECT_SOURCE_DIR}/cmake/GenerateProfiles.cmake
  DEPENDS edidgen ${PROJECT_SOURCE_DIR}/cmake/GenerateProfiles.cmake
  COMMENT "Generating the packaged EDID profiles"
  VERBATIM)
add_custom_target(package_profiles DEPENDS ${DP_PACKAGE_EDID}.stamp)

install(PROGRAMS $<TARGET_FILE:displayprep> $<TARGET_FILE:displayprep-check> $<TARGET_FILE:edidgen>
  DESTINATION .)
install(DIRECTORY ${DP_PACKAGE_EDID}/ DESTINATION edid)
install(FILES ${PROJECT_SOURCE_DIR}/README-operators.md DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME displayprep)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME displayprep-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR})
include(CPack)

add_custom_target(package_zip
  COMMAND ${CMAKE_CPACK_COMMAND} --config ${CMAKE_BINARY_DIR}/CPackConfig.cmake
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
  COMMENT "Packing displayprep-${PROJECT_VERSION}-win64.zip"
  VERBATIM)
add_dependencies(package_zip displayprep displayprep-check edidgen package_profiles)
