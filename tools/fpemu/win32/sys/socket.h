// The emulator's socket headers on Windows: Winsock has the calls and types it uses
// (sockaddr_in, inet_pton, htons, connect); libmicrohttpd starts Winsock itself.
#pragma once
#include <winsock2.h>
#include <ws2tcpip.h>
