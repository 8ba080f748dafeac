# kavutil: "make demo" builds the library and runs the kav demo; "make test"
# installs what is missing, then builds and tests everything: natively, under
# AddressSanitizer+UBSan, the Windows DLLs under Wine, plus lint and fuzzing.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
SANITIZERS := address,undefined
FUZZ_SANITIZERS := fuzzer-no-link,address,undefined
FUZZ_SECONDS ?= 20
FUZZ_LONG_SECONDS ?= 600
SOURCES = $(shell git ls-files '*.c' '*.cpp' '*.h')

configure = cmake -S . -B $(BUILD)/$(1) -Wno-dev $(2) >$(BUILD)/$(1).configure.log || \
	{ cat $(BUILD)/$(1).configure.log; exit 1; }
build = mkdir -p $(BUILD) && $(call configure,$(1),$(2)) && cmake --build $(BUILD)/$(1) -j $(JOBS)
ctest = cd $(BUILD)/$(1) && ctest --output-on-failure -j $(JOBS) $(2) 2>&1 | tee ctest.out; \
	test $${PIPESTATUS[0]} -eq 0

SHELL := /bin/bash

.PHONY: all demo test deps native asan win64 win32 fuzz bench lint \
	test-native test-asan test-win64 test-win32 fuzz-smoke fuzz-long clean docs install

all: native

demo: native
	$(BUILD)/native/bin/kav demo

deps:
	@bash scripts/install-deps.sh

native:
	$(call build,native,-DCMAKE_BUILD_TYPE=RelWithDebInfo -DKAV_BENCH=ON)

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

lint:
	clang-format --dry-run --Werror $(SOURCES)
	cppcheck --quiet --error-exitcode=1 --enable=warning,performance,portability \
		--std=c++20 --inline-suppr -I include \
		$(filter-out tests/% bench/% fuzz/%,$(filter %.cpp %.c,$(SOURCES)))

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
	$(MAKE) lint test-native test-asan test-win64 test-win32 fuzz-smoke
	@bash scripts/summarize-tests.sh $(BUILD)/native $(BUILD)/asan $(BUILD)/win64 $(BUILD)/win32

# Installs what the native build has install rules for (the PAM service file so far).
install: native
	cmake --install $(BUILD)/native

clean:
	rm -rf $(BUILD)
