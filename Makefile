# kavutil: "make demo" builds the library and runs the kav demo; "make test"
# installs what is missing, then builds and tests everything: natively, as 32-bit
# x86, under AddressSanitizer+UBSan, the Windows DLLs under Wine, the installed
# files with programs built against them, plus lint and fuzzing.
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
NATIVE := -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKAV_BENCH=ON -DCMAKE_EXPORT_COMPILE_COMMANDS=ON
ctest = cd $(BUILD)/$(1) && ctest --output-on-failure -j $(JOBS) $(2) 2>&1 | tee ctest.out; \
	test $${PIPESTATUS[0]} -eq 0

SHELL := /bin/bash

.PHONY: all demo test deps native asan win64 win32 fuzz bench lint m32 test-m32 test-install \
	test-native test-asan test-win64 test-win32 fuzz-smoke fuzz-long clean docs install package dist-windows

all: native

demo:
	$(call build,native,$(NATIVE),--target kav)
	$(BUILD)/native/bin/kav demo

deps:
	@bash scripts/install-deps.sh

native:
	$(call build,native,$(NATIVE))

# The native suites as 32-bit x86 code (g++-multilib): 32-bit long and pointers, x87 arithmetic.
m32:
	$(call build,m32,-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_TOOLCHAIN_FILE=cmake/linux-i686.cmake)

asan:
	$(call build,asan,-DCMAKE_BUILD_TYPE=Debug -DKAV_SANITIZE=$(SANITIZERS))

win64:
	$(call build,win64,-DCMAKE_BUILD_TYPE=RelWithDebInfo -DKAV_BENCH=ON \
		-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake)

win32:
	$(call build,win32,-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake)

fuzz:
	$(call build,fuzz,-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DKAV_TESTS=OFF \
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
	clang-format --dry-run --Werror $(SOURCES)
	cppcheck --quiet --error-exitcode=1 --enable=warning,performance,portability \
		--std=c++20 --inline-suppr -I include \
		$(filter-out tests/% bench/% fuzz/%,$(filter %.cpp %.c,$(SOURCES)))
	@mkdir -p $(BUILD) && $(call configure,native,$(NATIVE))
	run-clang-tidy -quiet -p $(BUILD)/native -j $(JOBS) $(TIDY_UNITS) \
		-config="{Checks: '-*,bugprone-exception-escape', WarningsAsErrors: '*'}" \
		>$(BUILD)/clang-tidy.log 2>&1 || \
		{ grep -v 'warnings generated' $(BUILD)/clang-tidy.log; exit 1; }

# The reference of include/kavutil.h under $(BUILD)/docs/html; a Doxygen warning (an undocumented
# export among them) fails it, and so does a warning from the kav(1) man page.
docs:
	@mkdir -p $(BUILD)
	{ cat docs/Doxyfile; echo 'OUTPUT_DIRECTORY = $(BUILD)/docs'; } | doxygen -
	@warnings=$$(groff -man -Tutf8 -ww -z docs/kav.1 2>&1); \
		if [ -n "$$warnings" ]; then echo "$$warnings"; exit 1; fi
	@echo "reference: $(BUILD)/docs/html/index.html; man page: man -l docs/kav.1"

test-native: native
	$(call ctest,native)

test-asan: asan
	$(call ctest,asan)

test-m32: m32
	$(call ctest,m32)

test-win64: win64
	$(call ctest,win64)

# 32-bit Wine is not always installable; the i686 DLL is still built and its
# export table checked.
test-win32: win32
	@if [ -x /usr/lib/wine/wine ]; then \
		$(call ctest,win32); \
	else \
		echo "SKIPPED: the i686 tests under Wine (32-bit Wine, wine32:i386, is not installed);"; \
		echo "         the i686 DLL was built; checking its export table only."; \
		$(call ctest,win32,-R exports); \
	fi

# A target's seed corpus, fuzz/corpus/<name>, is copied to a temporary directory for the run, so
# that what the fuzzer adds stays out of the repository.
fuzz-smoke: fuzz
	@for f in $(BUILD)/fuzz/bin/fuzz_*; do \
		log=$(BUILD)/fuzz/$$(basename $$f).log; \
		seeds=fuzz/corpus/$$(basename $$f | sed 's/^fuzz_//'); corpus=; \
		if [ -d $$seeds ]; then corpus="$(BUILD)/fuzz/corpus-$$(basename $$f) $$seeds"; \
			mkdir -p $(BUILD)/fuzz/corpus-$$(basename $$f); fi; \
		echo "== $$f ($(FUZZ_SECONDS) s)"; \
		$$f -max_total_time=$(FUZZ_SECONDS) -print_final_stats=0 $$corpus 2>$$log || \
			{ tail -40 $$log; exit 1; }; \
		grep -E '^Done|^#[0-9]+ +DONE' $$log | tail -1; \
	done

# Every fuzzer (or those FUZZ_TARGETS names, such as "containers cmdline") for FUZZ_LONG_SECONDS
# (10 minutes), two at a time, each going on from the corpus its last long run left in
# $(BUILD)/fuzz/long-corpus; the summary lands in $(BUILD)/fuzz/fuzz-long.md (docs/building.md
# keeps the last one).
fuzz-long: fuzz
	@bash scripts/fuzz-long.sh $(BUILD)/fuzz $(FUZZ_LONG_SECONDS) 2 $(FUZZ_TARGETS)

test: deps
	$(MAKE) lint test-native test-m32 test-asan test-win64 test-win32 test-install fuzz-smoke
	@bash scripts/summarize-tests.sh $(BUILD)/native $(BUILD)/m32 $(BUILD)/asan $(BUILD)/win64 \
		$(BUILD)/win32

# Installs the native build under a temporary prefix and builds and runs programs against it
# (pkg-config, find_package, add_subdirectory), then the packages and their contents.
test-install: native package dist-windows
	bash tests/consumers/check.sh $(BUILD)/native

install: native
	cmake --install $(BUILD)/native

# Debian packages (libkavutil1, libkavutil-dev, kavutil-tools), built for /usr as Debian builds
# its own: -O2 with dpkg-buildflags' hardening flags.
package:
	export CFLAGS="$$(dpkg-buildflags --get CFLAGS) $$(dpkg-buildflags --get CPPFLAGS)" \
		CXXFLAGS="$$(dpkg-buildflags --get CXXFLAGS) $$(dpkg-buildflags --get CPPFLAGS)" \
		LDFLAGS="$$(dpkg-buildflags --get LDFLAGS)"; \
	$(call build,package,-DCMAKE_BUILD_TYPE=None -DCMAKE_INSTALL_PREFIX=/usr -DKAV_TESTS=OFF)
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
