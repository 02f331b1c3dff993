// The studio's page, compiled into the program (generated from studio/page/).
#pragma once

#include <cstddef>
#include <string>

struct PageAsset {
  const char* path;         // "/index.html"
  const char* contentType;  // "text/html; charset=utf-8"
  const unsigned char* data;
  std::size_t size;
};

// The asset served at path ("/" is "/index.html"), or nullptr.
const PageAsset* FindPageAsset(const std::string& path);
