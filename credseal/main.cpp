#include "credseal/credseal_command.h"

int main(int argc, char** argv) { return CredsealMain(argc, argv); }
