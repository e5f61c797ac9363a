# SPDX-License-Identifier: GPL-2.0-or-later
# The two commands in the README do everything on a fresh Debian 12 machine; each target installs
# only the Debian packages it needs.
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

# Each target installs its own needs only; the lists are in scripts/install-deps.sh.
DEPS := ./scripts/install-deps.sh

# CMake regenerates its build files itself when a CMakeLists.txt changes, so configuring runs only
# for a new build folder or when the options differ from the last ones (kept in .vv-options).
#   $(call configure,FOLDER,OPTIONS)
define configure
	@opts='$(CMAKE_GEN) $(2)'; \
	 if [ ! -f $(1)/build.ninja ] || [ "$$(cat $(1)/.vv-options 2>/dev/null)" != "$$opts" ]; then \
	     cmake -S . -B $(1) $$opts >/dev/null && echo "$$opts" > $(1)/.vv-options; \
	 fi
endef

# The sets a target needs besides the build set come before the configure step, which looks for
# some of them (the bench's X11 probe): `bench: DEP_SETS += bench` reaches deps through build.
DEP_SETS :=
deps:
	@$(DEPS) build $(DEP_SETS)

configure: deps
	$(call configure,$(BUILD),-DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_WERROR=$(WERROR))

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# Without a display the demo runs on a screen of its own and saves a screenshot.
demo: build
	@$(DEPS) run $(if $(DISPLAY)$(WAYLAND_DISPLAY),,headless)
	@./scripts/demo.sh $(BUILD)

test: build
	@$(DEPS) run test
	@cd $(BUILD) && ctest --output-on-failure -j $(TEST_JOBS)

ASAN_OPTIONS_CMAKE = -DCMAKE_BUILD_TYPE=Debug -DVANTREL_SANITIZE=ON -DVANTREL_WERROR=$(WERROR)
asan:
	@$(DEPS) build run test
	$(call configure,$(ASAN_BUILD),$(ASAN_OPTIONS_CMAKE))
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	@cd $(ASAN_BUILD) && ctest --output-on-failure -j $(TEST_JOBS)

# Both builds and both test suites, in less time than one after the other: the test packages are
# installed while the normal build compiles, and the sanitizer build compiles while the normal
# build's tests run, which mostly wait (on X servers, window managers, timers, child programs). It
# compiles at the lowest priority, so the tests get the processor whenever they want it and keep
# the timing they have on their own. Its output goes to build-asan/build.log, shown when it fails.
check: WERROR = ON
check: deps
	$(call configure,$(BUILD),-DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_WERROR=$(WERROR))
	$(call configure,$(ASAN_BUILD),$(ASAN_OPTIONS_CMAKE))
	@$(DEPS) run test >$(BUILD)/install-deps.log 2>&1 & deps=$$!; \
	 cmake --build $(BUILD) -j $(JOBS); built=$$?; \
	 wait $$deps; installed=$$?; cat $(BUILD)/install-deps.log; [ $$installed -eq 0 ] && exit $$built; exit 1
	@echo "Building $(ASAN_BUILD) while the tests of $(BUILD) run (output in $(ASAN_BUILD)/build.log)"
	@nice -n 19 cmake --build $(ASAN_BUILD) -j $(JOBS) >$(ASAN_BUILD)/build.log 2>&1 & asan=$$!; \
	 (cd $(BUILD) && ctest --output-on-failure -j $(TEST_JOBS)); tested=$$?; \
	 wait $$asan || { tail -n 40 $(ASAN_BUILD)/build.log; exit 1; }; exit $$tested
	@cd $(ASAN_BUILD) && ctest --output-on-failure -j $(TEST_JOBS)

# The corpus is made once per build folder; --corpus DIR measures another folder laid out the same way.
# Then the on-screen latency of a start and of the next picture, on a screen of its own.
CORPUS ?= $(BUILD)/bench-corpus
bench: DEP_SETS += bench
bench: build
	@# A folder configured before the bench's packages came looks for them again.
	@grep -q 'vantrel-latency-probe' $(BUILD)/build.ninja || cmake $(BUILD) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target bench-programs
	@[ -f $(CORPUS)/list20k/file19999.doc ] && [ -f $(CORPUS)/office.emf ] && [ -f $(CORPUS)/start/2.jpg ] || $(BUILD)/bin/vantrel-bench --make-corpus $(CORPUS)
	@[ -f $(CORPUS)/formats/thumbs-jxl/35.jxl ] || $(BUILD)/bin/vantrel-bench --make-formats-corpus $(CORPUS)
	@status=0; $(BUILD)/bin/vantrel-bench --corpus $(CORPUS) || status=1; \
	 $(BUILD)/bin/vantrel-bench --corpus $(CORPUS) --formats-only || status=1; \
	 ./bench/latency.sh $(BUILD)/bin $(BUILD)/latency-corpus || status=1; exit $$status

# Each fuzzer runs FUZZ_SECONDS (default 600); findings land in build-fuzz/findings/.
fuzz:
	@$(DEPS) build fuzz
	@./tests/fuzz/run-fuzzers.sh $(CURDIR)/build-fuzz

# The Debian package, built for /usr in a folder of its own, then unpacked and checked (layout,
# desktop entry, metainfo, lintian).
deb:
	@$(DEPS) build deb
	$(call configure,$(DEB_BUILD),-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr -DVANTREL_TESTS=OFF -DVANTREL_WERROR=$(WERROR))
	@cmake --build $(DEB_BUILD) -j $(JOBS)
	@rm -rf $(DEB_BUILD)/package && cd $(DEB_BUILD) && cpack -G DEB >/dev/null
	@./packaging/check-deb.sh $(DEB_BUILD)/package/*.deb

# Stripped, as a package installs them; the debugging build stays in $(BUILD).
install: build
	@cmake --install $(BUILD) --strip

uninstall:
	@if [ -f $(BUILD)/install_manifest.txt ]; then xargs -r rm -fv < $(BUILD)/install_manifest.txt; \
	 else echo "Nothing recorded: run 'make install' first."; fi

format:
	@$(DEPS) format
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

# Fails when a source file is not as .clang-format lays it out, or lacks its licence line.
format-check:
	@$(DEPS) format
	@git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror
	@./scripts/add-spdx-headers.sh --check

clean:
	@rm -rf $(BUILD) $(ASAN_BUILD) $(DEB_BUILD) build-fuzz
