// The game's entry point; the command line is ignored.
#include "frame/main_loop.hpp"

int main() {
    return run_game();
}
