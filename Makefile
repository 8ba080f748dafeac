# kavutil: "make demo" builds the library and runs the kav demo; "make check" runs the native
# suite alone; "make test" installs what is missing, then builds and tests everything: natively,
# as 32-bit x86, under AddressSanitizer+UBSan, the Windows DLLs under Wine, the differences from
# Wine's own behaviour, the installed files and packages, the README's commands, lint and
# fuzzing.  What the machine cannot run (32-bit code, on some kernels) is tried first and skipped
# with a "SKIPPED:" line; KAV_NO_32BIT=1 acts as if no 32-bit code could run.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
SANITIZERS := address,undefined
FUZZ_SANITIZERS := fuzzer-no-link,address,undefined
FUZZ_SECONDS ?= 20
FUZZ_LONG_SECONDS ?= 600
SOURCES = $(shell git ls-files '*.c' '*.cpp' '*.h')

configure = mkdir -p $(BUILD) && cmake -S . -B $(BUILD)/$(1) -Wno-dev -DKAV_WERROR=ON $(2) \
	>$(BUILD)/$(1).configure.log || \
	{ cat $(BUILD)/$(1).configure.log; exit 1; }
build = $(call configure,$(1),$(2)) && cmake --build $(BUILD)/$(1) -j $(JOBS) $(3)
NATIVE := -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_EXPORT_COMPILE_COMMANDS=ON
# The test builds ask for their tests (and the native one for its benchmarks): without their
# packages they fail and say so, rather than build less.  "make demo" asks for nothing.
TESTS := -DKAV_TESTS=ON
ctest = cd $(BUILD)/$(1) && ctest --output-on-failure -j $(JOBS) $(2) 2>&1 | tee ctest.out; \
	test $${PIPESTATUS[0]} -eq 0

SHELL := /bin/bash

.PHONY: all demo check test test-readme test-plain deps native asan win64 win32 fuzz bench lint m32 test-m32 test-install \
	test-native test-asan test-win64 test-win32 fuzz-smoke fuzz-long clean docs install package dist-windows

all: native

# The shared library too: the README's C clients link it.
demo:
	$(call build,native,$(NATIVE),--target kavutil kav)
	$(BUILD)/native/bin/kav demo

# The native suite alone: the edit-and-test loop.
check: test-native

deps:
	@bash scripts/install-deps.sh

native:
	$(call build,native,$(NATIVE) $(TESTS) -DKAV_BENCH=ON)

# The native suites as 32-bit x86 code (g++-multilib): 32-bit long and pointers, x87 arithmetic.
m32:
	$(call build,m32,-DCMAKE_BUILD_TYPE=RelWithDebInfo $(TESTS) -DKAV_BENCH=OFF \
		-DCMAKE_TOOLCHAIN_FILE=cmake/linux-i686.cmake)

asan:
	$(call build,asan,-DCMAKE_BUILD_TYPE=Debug $(TESTS) -DKAV_BENCH=OFF -DKAV_SANITIZE=$(SANITIZERS))

win64:
	$(call build,win64,-DCMAKE_BUILD_TYPE=RelWithDebInfo $(TESTS) -DKAV_BENCH=ON \
		-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake)

win32:
	$(call build,win32,-DCMAKE_BUILD_TYPE=RelWithDebInfo $(TESTS) -DKAV_BENCH=OFF \
		-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake)

fuzz:
	$(call build,fuzz,-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DKAV_TESTS=OFF -DKAV_BENCH=OFF \
		-DKAV_FUZZ=ON -DKAV_SANITIZE=$(FUZZ_SANITIZERS))

# Every benchmark program, then the Windows profile read benchmark under Wine (whose peer is
# Wine's own GetPrivateProfileStringA); each hands its comparisons to $(BUILD)/bench-rows.tsv,
# and the run ends with one table of them all, also written to $(BUILD)/bench-table.md.
bench: native win64
	@rows=$(abspath $(BUILD))/bench-rows.tsv; rm -f $$rows; export KAV_BENCH_ROWS=$$rows; \
	for b in $(BUILD)/native/bin/*_bench; do echo "== $$b"; $$b || exit 1; done; \
	echo "== $(BUILD)/win64/bin/profile_read_bench.exe (under Wine)"; \
	cmake/wine-run.sh $(BUILD)/win64/wineprefix $(BUILD)/win64/bin/profile_read_bench.exe || exit 1; \
	bash scripts/bench-table.sh $$rows >$(BUILD)/bench-table.md; \
	echo; echo "== Every comparison of this run ($(BUILD)/bench-table.md)"; cat $(BUILD)/bench-table.md

# clang-tidy's exception-escape check reads the native build's compile commands (configuring it
# is enough) and looks at every library unit of that build: no exception may leave a noexcept
# function, which every exported one is.
TIDY_UNITS := '$(CURDIR)/(text|containers|config|files|system|console|cheque|platform)/'

lint:
	bash scripts/check-floors.sh
	clang-format --dry-run --Werror $(SOURCES)
	cppcheck --quiet --error-exitcode=1 --enable=warning,performance,portability \
		--std=c++20 --inline-suppr -I include \
		$(filter-out tests/% bench/% fuzz/%,$(filter %.cpp %.c,$(SOURCES)))
	@mkdir -p $(BUILD) && $(call configure,native,$(NATIVE))
	run-clang-tidy -quiet -p $(BUILD)/native -j $(JOBS) $(TIDY_UNITS) \
		-config="{Checks: '-*,bugprone-exception-escape', WarningsAsErrors: '*'}" \
		>$(BUILD)/clang-tidy.log 2>&1 || \
		{ grep -v 'warnings generated' $(BUILD)/clang-tidy.log; exit 1; }

# The reference of include/kavutil.h under $(BUILD)/docs/html, with its front page and the porting
# guide; a Doxygen warning (an undocumented export among them) fails it, and so does an export
# without its own section, and a warning from the kav(1) man page.  (The native build makes the
# same reference, which "cmake --install" and the packages install.)
docs:
	@mkdir -p $(BUILD)
	{ cat docs/Doxyfile; echo 'OUTPUT_DIRECTORY = $(BUILD)/docs'; } | doxygen -
	bash scripts/check-reference.sh $(BUILD)/docs/html include/kavutil.h
	@warnings=$$(groff -man -Tutf8 -ww -z docs/kav.1 2>&1); \
		if [ -n "$$warnings" ]; then echo "$$warnings"; exit 1; fi
	@echo "reference: $(BUILD)/docs/html/index.html; man page: man -l docs/kav.1"

test-native: native
	$(call ctest,native)

test-asan: asan
	$(call ctest,asan)

# Only where this machine builds and runs 32-bit x86 programs (scripts/machine-can.sh tries it).
test-m32:
	@if reason=$$(bash scripts/machine-can.sh m32); then \
		$(MAKE) --no-print-directory m32 && $(call ctest,m32); \
	else \
		echo "SKIPPED: m32: $$reason"; \
	fi

# The i686 DLL is always built and its export table checked; its tests run under Wine only where
# the 32-bit loader starts a program here.
test-win32: win32
	@if reason=$$(bash scripts/machine-can.sh wine32 $(BUILD)/win32/wineprefix); then \
		$(call ctest,win32); \
	else \
		echo "SKIPPED: win32: the i686 DLL's tests under Wine: $$reason"; \
		$(call ctest,win32,-R 'exports|imports'); \
	fi

test-win64: win64
	@if reason=$$(bash scripts/machine-can.sh wine64 $(BUILD)/win64/wineprefix); then \
		$(call ctest,win64); \
	else \
		echo "SKIPPED: win64: the x86-64 DLL's tests under Wine: $$reason"; \
		$(call ctest,win64,-R 'exports|imports'); \
	fi

# A target's seed corpus, fuzz/corpus/<name>, is copied to a temporary directory for the run, so
# that what the fuzzer adds stays out of the repository.
fuzz-smoke: fuzz
	@passed=0 failed=0; for f in $(BUILD)/fuzz/bin/fuzz_*; do \
		log=$(BUILD)/fuzz/$$(basename $$f).log; \
		seeds=fuzz/corpus/$$(basename $$f | sed 's/^fuzz_//'); corpus=; \
		if [ -d $$seeds ]; then corpus="$(BUILD)/fuzz/corpus-$$(basename $$f) $$seeds"; \
			mkdir -p $(BUILD)/fuzz/corpus-$$(basename $$f); fi; \
		echo "== $$f ($(FUZZ_SECONDS) s)"; \
		if $$f -max_total_time=$(FUZZ_SECONDS) -print_final_stats=0 $$corpus 2>$$log; then \
			passed=$$((passed + 1)); grep -E '^Done|^#[0-9]+ +DONE' $$log | tail -1; \
		else \
			failed=$$((failed + 1)); tail -40 $$log; \
		fi; \
	done; \
	echo "fuzz: $$passed passed, $$failed failed"; [ $$failed -eq 0 ]

# Every fuzzer (or those FUZZ_TARGETS names, such as "containers cmdline") for FUZZ_LONG_SECONDS
# (10 minutes), two at a time, each going on from the corpus its last long run left in
# $(BUILD)/fuzz/long-corpus; the summary lands in $(BUILD)/fuzz/fuzz-long.md (docs/building.md
# keeps the last one).
fuzz-long: fuzz
	@bash scripts/fuzz-long.sh $(BUILD)/fuzz $(FUZZ_LONG_SECONDS) 2 $(FUZZ_TARGETS)

# Every suite, each run even when one before it failed, then one table of them all
# (scripts/run-suites.sh); the last line is the total, and the status is non-zero when anything
# failed.
SUITES := native=test-native m32=test-m32 asan=test-asan win64=test-win64 win32=test-win32 \
	differential=test-differential install=test-install readme=test-readme plain=test-plain lint=lint fuzz=fuzz-smoke

test: deps
	@MAKE="$(MAKE)" bash scripts/run-suites.sh $(BUILD) $(SUITES)

# The README's command blocks run as written in a fresh copy of the tracked files (make demo
# included), and its C clients are checked to be linked to libkavutil.so.1.
test-readme:
	bash tests/readme_examples.sh --fresh-clone $(CURDIR)

# A configure and build with only a compiler and CMake (the test and benchmark packages hidden).
test-plain:
	bash tests/plain_build.sh $(CURDIR)

# Installs the native build under a temporary prefix and builds and runs programs against it
# (pkg-config, find_package, add_subdirectory), then the packages and their contents.
test-install: native package dist-windows
	bash tests/consumers/check.sh $(BUILD)/native

install: native
	cmake --install $(BUILD)/native

# Debian packages (libkavutil1, libkavutil-dev, kavutil-tools, libkavutil-doc), built for /usr as
# Debian builds its own: -O2 with dpkg-buildflags' hardening flags, all of them; then checked,
# lintian included (scripts/check-packages.sh).
package:
	export DEB_BUILD_MAINT_OPTIONS=hardening=+all; \
	export CFLAGS="$$(dpkg-buildflags --get CFLAGS) $$(dpkg-buildflags --get CPPFLAGS)" \
		CXXFLAGS="$$(dpkg-buildflags --get CXXFLAGS) $$(dpkg-buildflags --get CPPFLAGS)" \
		LDFLAGS="$$(dpkg-buildflags --get LDFLAGS)"; \
	$(call build,package,-DCMAKE_BUILD_TYPE=None -DCMAKE_INSTALL_PREFIX=/usr -DKAV_TESTS=OFF \
		-DKAV_BENCH=OFF -DKAV_DEBIAN_PACKAGE=ON)
	cd $(BUILD)/package && rm -f *.deb && { cpack -G DEB >cpack.log || { cat cpack.log; exit 1; }; }
	bash scripts/check-packages.sh $(BUILD)/package/*.deb

# build/dist/kavutil-<version>-win32.zip and -win64.zip: DLL (stripped), import library, .def,
# static library, header, kav.exe.
dist-windows: win32 win64
	@rm -rf $(BUILD)/dist && mkdir -p $(BUILD)/dist
	for arch in win32 win64; do \
		(cd $(BUILD)/$$arch && cpack -G ZIP -B $(abspath $(BUILD))/dist >cpack.log) || exit 1; \
	done
	bash scripts/check-packages.sh $(BUILD)/dist/kavutil-*-win32.zip $(BUILD)/dist/kavutil-*-win64.zip

clean:
	rm -rf $(BUILD)

# The differential suite (tests/differential): the same probes built natively and for 64-bit
# Windows, run on both sides (the Windows side under 64-bit Wine) and compared line by line,
# every accepted difference listed in tests/differential/accepted.txt; about 15 seconds, or
# "SKIPPED: differential" where 64-bit Wine cannot start a program.  differential-long sweeps ten
# times the random command lines and fifteen times the random settings texts (about a minute).
.PHONY: test-differential differential-long
test-differential: native win64
	bash tests/differential/run.sh $(BUILD)/native $(BUILD)/win64

differential-long: native win64
	bash tests/differential/run.sh $(BUILD)/native $(BUILD)/win64 --long
