# One interface target carries the compiler options that every library, test and benchmark shares.
add_library(vellorin_compile_flags INTERFACE)
add_library(Vellorin::compile_flags ALIAS vellorin_compile_flags)

target_compile_features(vellorin_compile_flags INTERFACE cxx_std_20)
target_compile_definitions(vellorin_compile_flags INTERFACE
    # cpprestsdk's U() macro breaks Qt headers that come after it.
    _TURN_OFF_PLATFORM_STRING
    QT_NO_KEYWORDS)
target_compile_options(vellorin_compile_flags INTERFACE
    -Wall -Wextra -Wshadow -Wold-style-cast -Wno-unused-parameter)
if(VELLORIN_WERROR)
    target_compile_options(vellorin_compile_flags INTERFACE -Werror)
endif()

# A library's headers are included by their folder ("net/Communicator.h"), and only by code that links the
# library: each library gets an include root of its own in the build tree, holding a link to its folder and
# nothing else. Including a header of a library one does not link then fails to compile.
function(vellorin_library_headers target folder)
    set(root "${PROJECT_BINARY_DIR}/include/${target}")
    set(link "${root}/${folder}")
    get_filename_component(parent "${link}" DIRECTORY)
    file(MAKE_DIRECTORY "${parent}")
    if(NOT IS_SYMLINK "${link}")
        file(CREATE_LINK "${PROJECT_SOURCE_DIR}/${folder}" "${link}" SYMBOLIC)
    endif()
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "INTERFACE_LIBRARY")
        target_include_directories(${target} INTERFACE "${root}")
    else()
        target_include_directories(${target} PUBLIC "${root}")
    endif()
endfunction()

if(VELLORIN_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "VELLORIN_FUZZ needs clang (configure with CC=clang CXX=clang++)")
    endif()
    # Coverage for libFuzzer in every library; only the harnesses link its main (-fsanitize=fuzzer).
    set(VELLORIN_SANITIZE "address,undefined")
    target_compile_options(vellorin_compile_flags INTERFACE -fsanitize=fuzzer-no-link)
    target_link_options(vellorin_compile_flags INTERFACE -fsanitize=fuzzer-no-link)
endif()

if(VELLORIN_SANITIZE)
    string(REPLACE "," ";" _sanitizers "${VELLORIN_SANITIZE}")
    foreach(_s IN LISTS _sanitizers)
        target_compile_options(vellorin_compile_flags INTERFACE -fsanitize=${_s})
        target_link_options(vellorin_compile_flags INTERFACE -fsanitize=${_s})
    endforeach()
    if("undefined" IN_LIST _sanitizers)
        # cpprestsdk's stream buffers are templates instantiated in our code, with their type information in
        # the library: the vptr check cannot match the two and reports every call.
        target_compile_options(vellorin_compile_flags INTERFACE -fno-sanitize=vptr)
        target_link_options(vellorin_compile_flags INTERFACE -fno-sanitize=vptr)
    endif()
    if("thread" IN_LIST _sanitizers AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        # Asio puts fences beside the mutexes of its queues; ThreadSanitizer sees the mutexes, and gcc warns at
        # every fence it cannot see.
        target_compile_options(vellorin_compile_flags INTERFACE -Wno-tsan)
    endif()
    # Line tables are all that the sanitizers' reports need; full debug information makes every file of these
    # builds a quarter slower to compile.
    target_compile_options(vellorin_compile_flags INTERFACE -g1 -fno-omit-frame-pointer -fno-sanitize-recover=all)
    target_link_options(vellorin_compile_flags INTERFACE -fno-sanitize-recover=all)
endif()
