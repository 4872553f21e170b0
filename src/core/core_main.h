// Program entry: start-up, the main loop, shutdown. Returns the process exit code.
#pragma once

int core_main(int argc, char **argv);
