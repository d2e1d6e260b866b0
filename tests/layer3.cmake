# Layer III streams made with lame and compared with mpg123's decoding
# (tests/unit/test_vectors.cpp); the unit run skips them.
if(NOT CMAKE_CROSSCOMPILING)
  add_test(NAME layer3_lame_streams COMMAND bramble_tests --gtest_filter=Groups/Vectors.*/Lame_*)
  set_tests_properties(layer3_lame_streams PROPERTIES ENVIRONMENT BRAMBLE_LAME_STREAMS=1 TIMEOUT 300)
  # Encoder headers, tags and gapless decoding (tests/unit/test_real_world_streams.cpp).
  add_test(NAME real_world_streams COMMAND bramble_tests --gtest_filter=RealWorldStreams.*)
  set_tests_properties(real_world_streams PROPERTIES ENVIRONMENT BRAMBLE_LAME_STREAMS=1 TIMEOUT 300)
endif()
