# One interface target carries the compiler options that every library, test and benchmark shares.
add_library(vellorin_options INTERFACE)
add_library(Vellorin::options ALIAS vellorin_options)

target_compile_features(vellorin_options INTERFACE cxx_std_20)
target_include_directories(vellorin_options INTERFACE ${PROJECT_SOURCE_DIR})
target_compile_definitions(vellorin_options INTERFACE
    # cpprestsdk's U() macro breaks Qt headers that come after it.
    _TURN_OFF_PLATFORM_STRING
    QT_NO_KEYWORDS)
target_compile_options(vellorin_options INTERFACE
    -Wall -Wextra -Wshadow -Wold-style-cast -Wno-unused-parameter)

if(VELLORIN_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "VELLORIN_FUZZ needs clang (configure with CC=clang CXX=clang++)")
    endif()
    # Coverage for libFuzzer in every library; only the harnesses link its main (-fsanitize=fuzzer).
    set(VELLORIN_SANITIZE "address,undefined")
    target_compile_options(vellorin_options INTERFACE -fsanitize=fuzzer-no-link)
    target_link_options(vellorin_options INTERFACE -fsanitize=fuzzer-no-link)
endif()

if(VELLORIN_SANITIZE)
    string(REPLACE "," ";" _sanitizers "${VELLORIN_SANITIZE}")
    foreach(_s IN LISTS _sanitizers)
        target_compile_options(vellorin_options INTERFACE -fsanitize=${_s})
        target_link_options(vellorin_options INTERFACE -fsanitize=${_s})
    endforeach()
    if("undefined" IN_LIST _sanitizers)
        # cpprestsdk's stream buffers are templates instantiated in our code, with their type information in
        # the library: the vptr check cannot match the two and reports every call.
        target_compile_options(vellorin_options INTERFACE -fno-sanitize=vptr)
        target_link_options(vellorin_options INTERFACE -fno-sanitize=vptr)
    endif()
    if("thread" IN_LIST _sanitizers AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        # Asio puts fences beside the mutexes of its queues; ThreadSanitizer sees the mutexes, and gcc warns at
        # every fence it cannot see.
        target_compile_options(vellorin_options INTERFACE -Wno-tsan)
    endif()
    target_compile_options(vellorin_options INTERFACE -fno-omit-frame-pointer -fno-sanitize-recover=all)
    target_link_options(vellorin_options INTERFACE -fno-sanitize-recover=all)
endif()
