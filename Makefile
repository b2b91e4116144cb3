# The README's commands. `make` builds into build/, `make run` starts the
# program in this terminal, `make test` builds and runs every test.
BUILD ?= build
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo
JOBS ?= 2

.PHONY: all build run test bench clean configure

all: build

configure:
	@scripts/deps.sh build
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@$(BUILD)/forditva

test:
	@scripts/deps.sh test
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) -DFORDITVA_TESTS=ON >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

bench:
	@scripts/deps.sh test
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) -DFORDITVA_TESTS=ON >/dev/null
	@cmake --build $(BUILD) --target benchmarks -j $(JOBS)
	@for b in $(BUILD)/bench/bench_*; do $$b; done

clean:
	rm -rf $(BUILD)
