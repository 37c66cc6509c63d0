# One interface target carries the compile settings every target of the project shares.
add_library(shoulu_settings INTERFACE)
target_compile_features(shoulu_settings INTERFACE cxx_std_20)
target_compile_options(shoulu_settings INTERFACE -Wall -Wextra -Wpedantic -Werror)
target_compile_definitions(shoulu_settings INTERFACE
  QT_NO_CAST_FROM_ASCII
  QT_USE_QSTRINGBUILDER
  QT_NO_KEYWORDS)

if(SHOULU_SANITIZE)
  target_compile_options(shoulu_settings INTERFACE -fsanitize=${SHOULU_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  target_link_options(shoulu_settings INTERFACE -fsanitize=${SHOULU_SANITIZE})
endif()

# Test builds also check the standard library's preconditions.
add_library(shoulu_test_settings INTERFACE)
target_link_libraries(shoulu_test_settings INTERFACE shoulu_settings)
target_compile_definitions(shoulu_test_settings INTERFACE _GLIBCXX_ASSERTIONS)

# The sanitizer and fuzz trees compile the same sources again: a compiler cache, where one is
# installed, makes those rebuilds cheap. A machine without it builds all the same.
find_program(SHOULU_CCACHE ccache)
if(SHOULU_CCACHE AND NOT CMAKE_CXX_COMPILER_LAUNCHER)
  set(CMAKE_CXX_COMPILER_LAUNCHER ${SHOULU_CCACHE})
endif()
