# libFuzzer targets over the parsers that read what others wrote; each runs as
# a ctest test (label "fuzz") for about 20 s over a copy of its seed corpus in
# tests/fuzz/corpus/<target>/, so that the corpus in the tree never grows.
set(ORFA_FUZZ_SECONDS 20 CACHE STRING "How long each fuzz test runs")
set(ORFA_FUZZ_TARGETS Lang VersionText Stamps CommandLine ConsoleVersion Image)
foreach(name IN LISTS ORFA_FUZZ_TARGETS)
  set(target fuzz_${name})
  add_executable(${target} ${CMAKE_SOURCE_DIR}/tests/fuzz/Fuzz${name}.cpp)
  target_link_libraries(${target} PRIVATE orfa_sim)
  target_link_options(${target} PRIVATE -fsanitize=fuzzer)
  orfa_warnings(${target})
  set(corpus ${CMAKE_BINARY_DIR}/fuzz-corpus/${name})
  add_test(NAME fuzz-${name}
    COMMAND bash -c "rm -rf \"$1\" && mkdir -p \"$1\" && cp -r \"$2\"/. \"$1\" && exec \"$0\" -max_total_time=$3 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \"$1\""
            $<TARGET_FILE:${target}> ${corpus} ${CMAKE_SOURCE_DIR}/tests/fuzz/corpus/${name}
            ${ORFA_FUZZ_SECONDS})
  set_tests_properties(fuzz-${name} PROPERTIES LABELS fuzz TIMEOUT 300)
endforeach()
# The splitter lives with the Windows implementation but is portable text work.
target_sources(fuzz_CommandLine PRIVATE ${CMAKE_SOURCE_DIR}/platform/win32/Win32CommandLine.cpp)
