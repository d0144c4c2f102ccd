// varnel-pack keygen / sign / verify: the publisher's keys and the detached
// signatures of published files (formats in package/Signature.h).
#pragma once

#include <string>

// argv[1] is the command.
int RunKeygen(int argc, char** argv);
int RunSign(int argc, char** argv);
int RunVerify(int argc, char** argv);

// Key pair generation and signing; OpenSSL in the native build, "" = done,
// else the reason. The private key is a PEM file (PKCS #8).
std::string GenerateKeyPair(const std::string& privatePath, const std::string& publicPath);
std::string SignFile(const std::string& path, const std::string& privatePath, const std::string& sigPath);
