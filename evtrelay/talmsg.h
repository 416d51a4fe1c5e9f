#pragma once
// The console-message library TALMSG of the operations console. evtrelay
// binds it at load time; on Windows by ordinal 9 with no name (talmsg.def),
// on POSIX as libTALMSG.so beside the program.

/// The convention msgpost3 is declared with. The relay calls it through
/// platform::CallForeign, so the library may export it __cdecl or
/// __stdcall; the stand-in's __stdcall variant defines TALMSG_CALL.
#ifndef TALMSG_CALL
#define TALMSG_CALL
#endif

/// Hands one alert to the console: thirteen 32-bit words on 32-bit Windows.
/// -1: storing it in the library's temporary files failed; -2: the console
/// was stopping and it was stored there; anything else: accepted.
extern "C" int TALMSG_CALL msgpost3(void* word1, int severityWord, const char* hostName,
                                    void* word4, int alertTime, int word6, int word7, int word8,
                                    int word9, int word10, int word11, int word12,
                                    const char* alertText);

/// The type of msgpost3, for the command to be run against another console.
using MsgPost3Fn = int (*)(void*, int, const char*, void*, int, int, int, int, int, int, int, int,
                           const char*);
