#pragma once
// Screenshots of any module's editor, e.g. for documentation.

#include <string>

#include "editor/editor_host.h"

namespace kestravel::plugins {

// [UI thread] Paints the picture a freshly opened editor of host shows (FADER BANK on its
// first page) and writes it as a 960 x 580 PNG file. Cairo on Linux, GDI on Windows.
// Returns false when the file could not be written.
bool renderEditorPng(const EditorHost& host, const std::string& utf8Path);

} // namespace kestravel::plugins
