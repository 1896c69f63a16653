# The two set-up commands of the README, and a few helpers.
#   make run    build the game and start it in this terminal
#   make test   build everything and run every test
#   make bench  build optimised and run the chat session's flood benchmark and
#               the game's minigame CPU benchmark
.PHONY: run test chat bench deps build clean

deps:
	@sh tools/install-deps.sh

build: deps
	cmake --preset release
	cmake --build --preset release

run: build
	./build/release/game/sysopsim $(ARGS)

chat: build
	./build/release/chat/ircdoor $(ARGS)

bench: build
	./build/release/bench/irc_flood_bench
	sh bench/minigame_cpu.sh

test: deps
	cmake --preset dev
	cmake --build --preset dev
	ctest --preset dev
	cmake --preset tsan
	cmake --build --preset tsan
	ctest --preset tsan

clean:
	rm -rf build
