# The 32-bit Linux build (cmake/linux-i686.cmake) against the native 64-bit
# build: its `bramble` must give the same PCM for a few conformance streams.
# Its unit tests run through the build's emulator like every target test.
if(CMAKE_CROSSCOMPILING AND NOT WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(BRAMBLE_NATIVE_BIN ${CMAKE_SOURCE_DIR}/build/native/bin CACHE PATH "bin/ of a native build (for identity checks)")
  add_test(NAME pcm_identity_native32
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/pcm_identity.sh ${CMAKE_CROSSCOMPILING_EMULATOR}
                   $<TARGET_FILE:bramble> ${BRAMBLE_NATIVE_BIN}/bramble ${BRAMBLE_SHARED}/conformance)
  set_tests_properties(pcm_identity_native32 PROPERTIES TIMEOUT 300)
endif()
