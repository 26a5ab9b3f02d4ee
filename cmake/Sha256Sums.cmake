# Run by CPack once the package's files are staged, before they are packed:
# writes SHA256SUMS into the package folder, one line per file below it in
# the format sha256sum -c reads ("<hash>  <path>", forward slashes), so that
# an operator can check what was unpacked (Get-FileHash -Algorithm SHA256 on
# Windows gives the same hashes).
set(folder "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/${CPACK_DP_PACKAGE_FOLDER}")
if(NOT IS_DIRECTORY "${folder}")
  message(FATAL_ERROR "SHA256SUMS: no staged package folder at ${folder}")
endif()
file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${folder}" "${folder}/*")
list(REMOVE_ITEM files SHA256SUMS)
list(SORT files)
set(sums "")
foreach(f ${files})
  file(SHA256 "${folder}/${f}" hash)
  string(APPEND sums "${hash}  ${f}\n")
endforeach()
file(WRITE "${folder}/SHA256SUMS" "${sums}")
list(LENGTH files count)
message(STATUS "SHA256SUMS: ${count} files")
