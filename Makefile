# The two commands of a new machine: `make run` and `make test`.
.PHONY: run test build setup clean

setup:
	@bash scripts/setup.sh

build: setup
	@bash scripts/build.sh

run: build
	@bash scripts/run.sh

test: setup
	@bash scripts/test.sh

clean:
	rm -rf build
