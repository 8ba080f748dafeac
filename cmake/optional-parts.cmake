# What the optional parts of the build need, looked for without failing: GoogleTest's sources
# for the tests (built with each build's own compiler, cross builds included), and Google
# Benchmark, GLib and ICU for the benchmarks (native builds only; the Windows build has one
# benchmark, which needs nothing).  The defaults of KAV_TESTS and KAV_BENCH follow what is found;
# kav_report_optional_parts says in one message what was left out and how to get it.
set(KAV_TESTS_DEFAULT OFF)
set(KAV_BENCH_DEFAULT OFF)
set(kav_missing_parts "")
if(PROJECT_IS_TOP_LEVEL)
  if(EXISTS ${KAV_GTEST_SOURCE}/CMakeLists.txt)
    set(KAV_TESTS_DEFAULT ON)
  else()
    list(APPEND kav_missing_parts "tests (GoogleTest's sources in ${KAV_GTEST_SOURCE}: googletest)")
  endif()
  if(WIN32)
    set(KAV_BENCH_DEFAULT ON)
  else()
    find_package(benchmark QUIET)
    find_package(PkgConfig QUIET)
    if(PKG_CONFIG_FOUND)
      pkg_check_modules(KAV_PEERS QUIET glib-2.0 icu-i18n icu-uc)
    endif()
    if(benchmark_FOUND AND KAV_PEERS_FOUND)
      set(KAV_BENCH_DEFAULT ON)
    else()
      list(APPEND kav_missing_parts
           "benchmarks (Google Benchmark, GLib and ICU: libbenchmark-dev libglib2.0-dev libicu-dev)")
    endif()
  endif()
endif()

function(kav_report_optional_parts)
  if(KAV_TESTS AND NOT EXISTS ${KAV_GTEST_SOURCE}/CMakeLists.txt)
    message(FATAL_ERROR "KAV_TESTS=ON needs GoogleTest's sources in ${KAV_GTEST_SOURCE} "
                        "(Debian: googletest; \"make deps\" as root installs every package)")
  endif()
  set(left "")
  foreach(part IN LISTS kav_missing_parts)
    if((part MATCHES "^tests" AND NOT KAV_TESTS) OR (part MATCHES "^benchmarks" AND NOT KAV_BENCH))
      list(APPEND left "${part}")
    endif()
  endforeach()
  if(left)
    list(JOIN left "; " left)
    message(STATUS "kavutil: building the library and kav without ${left}. "
                   "\"make deps\" (as root) installs them; -DKAV_TESTS=ON / -DKAV_BENCH=ON then.")
  endif()
endfunction()
