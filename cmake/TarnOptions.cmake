# Compiler flags shared by every target of the project: warnings, and the
# optional sanitizers. Targets opt in by linking tarn_build_flags.
add_library(tarn_build_flags INTERFACE)

if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(tarn_build_flags INTERFACE -Wall -Wextra)
    if(TARN_WERROR)
        target_compile_options(tarn_build_flags INTERFACE -Werror)
    endif()
elseif(MSVC)
    target_compile_options(tarn_build_flags INTERFACE /W4)
    if(TARN_WERROR)
        target_compile_options(tarn_build_flags INTERFACE /WX)
    endif()
endif()

if(TARN_SANITIZE)
    if(MSVC)
        message(FATAL_ERROR "TARN_SANITIZE needs GCC or Clang")
    endif()
    # Applied globally so that test and tool executables link the runtime too.
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()

# The loader threads and the decode cache. Run with
# TSAN_OPTIONS=ignore_noninstrumented_modules=1, which leaves out the GL
# driver's own threads (a called_from_lib suppression would not do: the
# windowing library unloads the driver before exit, and ThreadSanitizer
# then fails the run).
if(TARN_TSAN)
    if(MSVC OR TARN_SANITIZE)
        message(FATAL_ERROR "TARN_TSAN needs GCC or Clang, and excludes TARN_SANITIZE")
    endif()
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
endif()

if(TARN_BUILD_FUZZERS)
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        message(FATAL_ERROR "TARN_BUILD_FUZZERS needs clang: configure with CC=clang CXX=clang++")
    endif()
    # Coverage for the whole engine; only the fuzz targets link libFuzzer's main.
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()
