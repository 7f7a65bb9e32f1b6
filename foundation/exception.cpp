#include "exception.h"

#include <cstring>

#include "text_format.h"

void Exception::Format(char* text, size_t size, const char* format, const char* name1, const char* name2) {
  FormatText(text, size, format, name1 ? name1 : "", name2 ? name2 : "");
  message = text;
}

void Exception::Adopt(char* text, const char* from, size_t size) {
  if (text != from) std::memcpy(text, from, size);
  message = text;
}

ExceptFileCopy::ExceptFileCopy(const char* source, const char* destination) {
  Format(text, sizeof text, "ﾌｧｲﾙ'%s'を\nﾌｧｲﾙ'%s'にコピーできません", source, destination);
}
