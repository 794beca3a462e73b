// Reads the test peer's record: one JSON object a line, as Python's json
// module writes them (sorted keys, ASCII with \u escapes). Only what the
// tests compare is read: string, number and boolean fields of flat events.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

struct PeerEvent {
  std::map<std::string, std::string> fields;  // strings unescaped, others as written
  const std::string& operator[](const std::string& name) const {
    static const std::string kNone;
    auto it = fields.find(name);
    return it == fields.end() ? kNone : it->second;
  }
  long long number(const std::string& name) const { return std::atoll((*this)[name].c_str()); }
};

inline PeerEvent ParsePeerEvent(const std::string& line) {
  PeerEvent event;
  size_t i = 0;
  auto readString = [&](std::string* out) {
    ++i;  // opening quote
    while (i < line.size() && line[i] != '"') {
      char c = line[i++];
      if (c != '\\') {
        out->push_back(c);
        continue;
      }
      c = line[i++];
      switch (c) {
        case 'n': out->push_back('\n'); break;
        case 'r': out->push_back('\r'); break;
        case 't': out->push_back('\t'); break;
        case 'u': out->push_back(static_cast<char>(std::strtol(line.substr(i, 4).c_str(), nullptr, 16))); i += 4; break;
        default: out->push_back(c);
      }
    }
    ++i;  // closing quote
  };
  while (i < line.size()) {
    while (i < line.size() && line[i] != '"') ++i;
    if (i >= line.size()) break;
    std::string key;
    readString(&key);
    while (i < line.size() && (line[i] == ':' || line[i] == ' ')) ++i;
    std::string value;
    if (i < line.size() && line[i] == '"') {
      readString(&value);
    } else if (i < line.size() && line[i] == '[') {
      int depth = 0;
      do {
        if (line[i] == '[') ++depth;
        if (line[i] == ']') --depth;
        value.push_back(line[i++]);
      } while (i < line.size() && depth > 0);
    } else {
      while (i < line.size() && line[i] != ',' && line[i] != '}') value.push_back(line[i++]);
    }
    event.fields[key] = value;
    while (i < line.size() && line[i] != ',' && line[i] != '}') ++i;
    ++i;
  }
  return event;
}

inline std::vector<PeerEvent> PeerEvents(const std::vector<std::string>& lines, const std::string& kind) {
  std::vector<PeerEvent> events;
  for (const std::string& line : lines) {
    PeerEvent e = ParsePeerEvent(line);
    if (e["event"] == kind) events.push_back(std::move(e));
  }
  return events;
}
