// CString: UTF-16 text over QString with the members the windows use. Text
// that leaves as 8-bit is UTF-8.
#pragma once

#include <QString>
#include <string>
#include <vector>

#include "win32/types.h"

class CString {
 public:
  CString() = default;
  CString(const WCHAR* text) : s_(text == nullptr ? QString() : QString::fromUtf16(text)) {}
  CString(const char* utf8) : s_(QString::fromUtf8(utf8)) {}
  CString(const QString& text) : s_(text) {}
  CString(WCHAR ch, int repeat = 1) : s_(repeat, QChar(ch)) {}

  int GetLength() const { return static_cast<int>(s_.size()); }
  BOOL IsEmpty() const { return s_.isEmpty(); }
  void Empty() { s_.clear(); }
  WCHAR GetAt(int i) const { return s_.at(i).unicode(); }
  WCHAR operator[](int i) const { return GetAt(i); }
  void SetAt(int i, WCHAR ch) { s_[i] = QChar(ch); }
  // The text as a zero-terminated UTF-16 string, valid while the CString is
  // unchanged.
  operator const WCHAR*() const { return reinterpret_cast<const WCHAR*>(s_.utf16()); }
  const WCHAR* GetString() const { return *this; }

  // Loads the string `id` through the resource chain; FALSE when it has none.
  BOOL LoadString(UINT id);
  // printf formatting: %s and %ls take UTF-16 text (const WCHAR*), %hs UTF-8.
  void Format(const WCHAR* format, ...);
  void Format(const char* format, ...);

  CString Mid(int first) const { return CString(s_.mid(Clamp(first))); }
  CString Mid(int first, int count) const { return CString(s_.mid(Clamp(first), count < 0 ? 0 : count)); }
  CString Left(int count) const { return CString(s_.left(count < 0 ? 0 : count)); }
  CString Right(int count) const { return CString(s_.right(count < 0 ? 0 : count)); }
  // Index of the first match at or after `start`, -1 when there is none.
  int Find(WCHAR ch, int start = 0) const { return static_cast<int>(s_.indexOf(QChar(ch), Clamp(start))); }
  int Find(const WCHAR* sub, int start = 0) const {
    return static_cast<int>(s_.indexOf(QString::fromUtf16(sub), Clamp(start)));
  }
  int ReverseFind(WCHAR ch) const { return static_cast<int>(s_.lastIndexOf(QChar(ch))); }
  CString& Trim() {
    s_ = s_.trimmed();
    return *this;
  }
  CString& TrimLeft();
  CString& TrimRight();
  CString& MakeUpper() {
    s_ = s_.toUpper();
    return *this;
  }
  CString& MakeLower() {
    s_ = s_.toLower();
    return *this;
  }
  int Replace(const WCHAR* oldText, const WCHAR* newText);
  int Compare(const WCHAR* other) const { return QString::compare(s_, QString::fromUtf16(other)); }
  int CompareNoCase(const WCHAR* other) const {
    return QString::compare(s_, QString::fromUtf16(other), Qt::CaseInsensitive);
  }

  CString& operator+=(const CString& other) {
    s_ += other.s_;
    return *this;
  }
  CString& operator+=(WCHAR ch) {
    s_ += QChar(ch);
    return *this;
  }
  friend CString operator+(const CString& a, const CString& b) { return CString(a.s_ + b.s_); }
  friend bool operator==(const CString& a, const CString& b) { return a.s_ == b.s_; }
  friend bool operator<(const CString& a, const CString& b) { return a.s_ < b.s_; }

  const QString& qstring() const { return s_; }
  std::string ToUtf8() const { return s_.toStdString(); }

 private:
  int Clamp(int i) const { return i < 0 ? 0 : i; }
  QString s_;
};

// A growing array of strings.
class CStringArray {
 public:
  INT_PTR GetSize() const { return static_cast<INT_PTR>(items_.size()); }
  INT_PTR GetCount() const { return GetSize(); }
  const CString& GetAt(INT_PTR i) const { return items_.at(static_cast<size_t>(i)); }
  CString& operator[](INT_PTR i) { return items_.at(static_cast<size_t>(i)); }
  INT_PTR Add(const CString& text) {
    items_.push_back(text);
    return GetSize() - 1;
  }
  void RemoveAll() { items_.clear(); }
  // The strings in order.
  const std::vector<CString>& items() const { return items_; }
  std::vector<CString>& items() { return items_; }

 private:
  std::vector<CString> items_;
};
