#include "evtrelay/relay_command.h"
#include "evtrelay/talmsg.h"

int main(int argc, char** argv) { return RelayMain(argc, argv, msgpost3); }
