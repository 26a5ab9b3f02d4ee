# The operator's package: displayprep-<version>-win64.zip, which unpacks to a
# folder named displayprep holding displayprep.exe, the pre-flight check
# displayprep-check.exe, the agent displayprep-agent.exe, edidgen.exe (its
# import makes profiles of the operator's own monitors), an edid folder of
# profiles generated for the common modes, README-operators.md and
# SHA256SUMS. Nothing of the simulated stack, no test program, no helper of
# ours: what stands beside the program on a real machine (wkex.exe, the
# companion) is the operator's. scripts/package.sh builds it (target
# package_zip); the test package.run checks and runs what it holds.
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

set(DP_PACKAGE_FOLDER displayprep)
install(PROGRAMS $<TARGET_FILE:displayprep> $<TARGET_FILE:displayprep-check>
                 $<TARGET_FILE:displayprep-agent> $<TARGET_FILE:edidgen>
        DESTINATION ${DP_PACKAGE_FOLDER})
install(DIRECTORY ${DP_PACKAGE_EDID}/ DESTINATION ${DP_PACKAGE_FOLDER}/edid)
install(FILES ${PROJECT_SOURCE_DIR}/README-operators.md DESTINATION ${DP_PACKAGE_FOLDER})

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME displayprep)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME displayprep-${PROJECT_VERSION}-win64)
# The folder inside is displayprep itself, whatever the version: unpacked
# into C:\Program Files it is C:\Program Files\displayprep, the folder the
# operators' commands name.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR})
# SHA256SUMS of everything packed, written into the folder once it is staged.
# (CPack hands every CPACK_ variable to the script.)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/Sha256Sums.cmake)
set(CPACK_DP_PACKAGE_FOLDER ${DP_PACKAGE_FOLDER})
include(CPack)

add_custom_target(package_zip
  COMMAND ${CMAKE_CPACK_COMMAND} --config ${CMAKE_BINARY_DIR}/CPackConfig.cmake
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
  COMMENT "Packing displayprep-${PROJECT_VERSION}-win64.zip"
  VERBATIM)
add_dependencies(package_zip displayprep displayprep-check displayprep-agent edidgen
  package_profiles)
