// The exceptions in which every failure of the updater travels, each with its
// finished, user-readable message. Handlers show the message unchanged.
#pragma once

#include <cstddef>

class Exception {
 public:
  Exception() : message(nullptr) {}
  explicit Exception(const char* text) : message(text) {}

  // The message, or null. A plain Exception points at a constant text; a
  // family exception points at its own text, in every copy.
  const char* message;

 protected:
  // Formats the message into text (size bytes) and points message at it.
  void Format(char* text, size_t size, const char* format, const char* name1,
              const char* name2 = nullptr);
  // Takes over another copy's text, so that this copy carries it by itself.
  void Adopt(char* text, const char* from, size_t size);
};

// The base of the exceptions that one class raises (File::Except,
// FileCat::Except, Registry::Except): a 512-byte text naming the file or the
// registry name concerned.
template <class Owner>
class ExceptionFamily : public Exception {
 public:
  // A fixed text without a name.
  explicit ExceptionFamily(const char* fixedText) { Format(text, sizeof text, "%s", fixedText); }
  ExceptionFamily(const ExceptionFamily& other) : Exception() { Adopt(text, other.text, sizeof text); }
  ExceptionFamily& operator=(const ExceptionFamily& other) {
    Adopt(text, other.text, sizeof text);
    return *this;
  }

  char text[512];

 protected:
  ExceptionFamily(const char* format, const char* name) { Format(text, sizeof text, format, name); }
};

// Cannot copy one file to another: two paths, so a text of its own size.
class ExceptFileCopy : public Exception {
 public:
  ExceptFileCopy(const char* source, const char* destination);
  ExceptFileCopy(const ExceptFileCopy& other) : Exception() { Adopt(text, other.text, sizeof text); }
  ExceptFileCopy& operator=(const ExceptFileCopy& other) {
    Adopt(text, other.text, sizeof text);
    return *this;
  }

  char text[780];
};
