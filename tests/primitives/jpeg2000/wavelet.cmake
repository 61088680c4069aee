dcp_add_test(prim_wavelet_tests
  SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/wavelet53_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/wavelet97_fixed_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/wavelet97_float_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/wavelet97_pipeline_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/colour_transform_test.cpp
  LIBS prim_wavelet prim_core)
