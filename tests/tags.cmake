# ID3v1 interoperability with Debian's id3tool and id3v2 through `bramble
# tag`; the script reports SKIPPED while the tool lacks the command.
if(NOT CMAKE_CROSSCOMPILING)
  if(TARGET bramble)
    set(_bramble_exe $<TARGET_FILE:bramble>)
  else()
    set(_bramble_exe "")
  endif()
  add_test(NAME tags_interop
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tags_interop.sh "${_bramble_exe}"
                   ${CMAKE_BINARY_DIR}/tags_interop)
  set_tests_properties(tags_interop PROPERTIES SKIP_REGULAR_EXPRESSION "SKIPPED")
endif()
