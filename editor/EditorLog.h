#pragma once
// One line on stderr for what the editor left out or refused, so that a
// faulty bundle can be mended. Editor thread only.

void EditorLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
