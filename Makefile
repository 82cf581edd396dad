# Rolvane: `make run` opens the application, `make test` runs every test.
# `make bench` runs the benchmark program; RUNS=3 sums up three runs by their medians and
# MARKDOWN=FILE writes the table in Markdown; ARGS passes more (-n CONTACTS, --only SECTION).
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: all deps configure build test run bench format install clean

all: build

deps:
	@bash scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS) > /dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	@cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

run: build
	@$(BUILD_DIR)/bin/rolvane $(ARGS)

bench: build
	@$(BUILD_DIR)/bin/rolvane-bench $(if $(RUNS),--runs $(RUNS)) $(if $(MARKDOWN),--markdown $(MARKDOWN)) $(ARGS)

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

install: build
	@cmake --install $(BUILD_DIR) $(if $(PREFIX),--prefix $(PREFIX))

clean:
	@rm -rf $(BUILD_DIR)
