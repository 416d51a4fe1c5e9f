// The storm benchmark's baseline: a process that does nothing but hand one
// alert to the console library, through the same library as the relay.

#include "evtrelay/talmsg.h"

int main() {
  return msgpost3(nullptr, 0x303, "node01", nullptr, 1160734830, 0, 0, 0, 0, 0, 0, 0,
                  "50%% on C:\\\\data") == -1
             ? 1
             : 0;
}
