# The entries of the config.ini, retrieval feature and thumbnail fuzzers, libraries of their
# own so that the libFuzzer targets (fuzz build) and the corpus replay test (normal build)
# link the same code without compiling it twice. The thumbnail entry needs Qt.
if(NOT TARGET orvane_fuzz_input_file)
  add_library(orvane_fuzz_input_file STATIC ${PROJECT_SOURCE_DIR}/fuzz/fuzz_input_file.cpp)
  target_include_directories(orvane_fuzz_input_file PUBLIC ${PROJECT_SOURCE_DIR}/fuzz)

  add_library(orvane_config_fuzz_entry STATIC ${PROJECT_SOURCE_DIR}/fuzz/config_ini_entry.cpp)
  target_link_libraries(orvane_config_fuzz_entry PUBLIC orvane_pqz orvane_fuzz_input_file)

  add_library(orvane_feature_fuzz_entry STATIC
              ${PROJECT_SOURCE_DIR}/fuzz/retrieval_feature_entry.cpp)
  target_link_libraries(orvane_feature_fuzz_entry PUBLIC orvane_retrieval orvane_fuzz_input_file)

  if(TARGET orvane_thumbnail)
    add_library(orvane_thumbnail_fuzz_entry STATIC ${PROJECT_SOURCE_DIR}/fuzz/thumbnail_entry.cpp)
    target_link_libraries(orvane_thumbnail_fuzz_entry PUBLIC orvane_thumbnail
                          orvane_fuzz_input_file)
  endif()
endif()
