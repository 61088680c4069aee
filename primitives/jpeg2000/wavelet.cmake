# Inverse wavelet lifting and inverse component transforms.
prim_add_library(prim_wavelet
  wavelet.cpp
  wavelet_px.cpp
  wavelet_sse2.cpp
  wavelet_ssse3.cpp
  wavelet_sse41.cpp
  wavelet_avx.cpp
  wavelet_avx2.cpp
  colour_transform_px.cpp
  colour_transform_sse2.cpp
  colour_transform_ssse3.cpp
  colour_transform_sse41.cpp
  colour_transform_avx.cpp
  colour_transform_avx2.cpp)
target_link_libraries(prim_wavelet PUBLIC prim_core)
