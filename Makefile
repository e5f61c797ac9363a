# The two commands in the README do everything on a fresh Debian 12 machine.
BUILD      ?= build
ASAN_BUILD ?= build-asan
DEB_BUILD  ?= build-deb
# Parallel jobs: CMAKE_BUILD_PARALLEL_LEVEL (builds) and CTEST_PARALLEL_LEVEL (tests) when set,
# else the machine's cores, at most 8.
CORES      := $(shell n=$$(nproc); [ $$n -gt 8 ] && n=8; echo $$n)
JOBS       ?= $(or $(CMAKE_BUILD_PARALLEL_LEVEL),$(CORES))
TEST_JOBS  ?= $(or $(CTEST_PARALLEL_LEVEL),$(CORES))
CMAKE_GEN  := -G Ninja
# Warnings stop the build in CI and in 'make check'; a user's newer compiler only warns.
WERROR     ?= OFF

.PHONY: all deps configure build demo check test asan bench fuzz install uninstall format format-check clean deb

all: build

deps:
	@./scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_WERROR=$(WERROR) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

demo: build
	@./scripts/demo.sh $(BUILD)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(TEST_JOBS)

asan: deps
	@cmake -S . -B $(ASAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DVANTREL_SANITIZE=ON \
	       -DVANTREL_WERROR=$(WERROR) >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	@cd $(ASAN_BUILD) && ctest --output-on-failure -j $(TEST_JOBS)

check: WERROR = ON
check: test asan

# The corpus is made once per build folder; --corpus DIR measures another folder laid out the same way.
# Then the on-screen latency of a start and of the next picture, on a screen of its own.
CORPUS ?= $(BUILD)/bench-corpus
bench: build
	@[ -f $(CORPUS)/list20k/file19999.doc ] && [ -f $(CORPUS)/office.emf ] && [ -f $(CORPUS)/start/2.jpg ] || $(BUILD)/bin/vantrel-bench --make-corpus $(CORPUS)
	@[ -f $(CORPUS)/formats/thumbs-jxl/35.jxl ] || $(BUILD)/bin/vantrel-bench --make-formats-corpus $(CORPUS)
	@status=0; $(BUILD)/bin/vantrel-bench --corpus $(CORPUS) || status=1; \
	 $(BUILD)/bin/vantrel-bench --corpus $(CORPUS) --formats-only || status=1; \
	 ./bench/latency.sh $(BUILD)/bin $(BUILD)/latency-corpus || status=1; exit $$status

# Each fuzzer runs FUZZ_SECONDS (default 600); findings land in build-fuzz/findings/.
fuzz: deps
	@./tests/fuzz/run-fuzzers.sh $(CURDIR)/build-fuzz

# The Debian package, built for /usr in a folder of its own, then unpacked and checked (layout,
# desktop entry, metainfo, lintian).
deb: deps
	@cmake -S . -B $(DEB_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
	    -DVANTREL_TESTS=OFF -DVANTREL_WERROR=$(WERROR) >/dev/null
	@cmake --build $(DEB_BUILD) -j $(JOBS)
	@rm -rf $(DEB_BUILD)/package && cd $(DEB_BUILD) && cpack -G DEB >/dev/null
	@./packaging/check-deb.sh $(DEB_BUILD)/package/*.deb

install: build
	@cmake --install $(BUILD)

uninstall:
	@if [ -f $(BUILD)/install_manifest.txt ]; then xargs -r rm -fv < $(BUILD)/install_manifest.txt; \
	 else echo "Nothing recorded: run 'make install' first."; fi

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

# Fails when a source file is not as .clang-format lays it out (CI runs it).
format-check: deps
	@git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror

clean:
	@rm -rf $(BUILD) $(ASAN_BUILD) $(DEB_BUILD) build-fuzz
