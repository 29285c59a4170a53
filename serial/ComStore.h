#pragma once
// The small stores a port's settings are saved to and loaded from: an INI file (sections of
// keys) and a registry key the caller has already opened. The program's own profile service or
// a test double implements them; the port component knows only these interfaces.
#include <cstdint>
#include <string>

class TComIniFile {
public:
    virtual ~TComIniFile() = default;
    // The value of a key, or `defaultValue` when the section has no such key.
    virtual std::string ReadString(const std::string& section, const std::string& key,
                                   const std::string& defaultValue) = 0;
    // Writes one key; throws whatever the store throws when it cannot write.
    virtual void WriteString(const std::string& section, const std::string& key,
                             const std::string& value) = 0;

    // Whole numbers as decimal text; a missing key or a text that is no whole number gives
    // `defaultValue`.
    std::int32_t ReadInteger(const std::string& section, const std::string& key, std::int32_t defaultValue);
    void WriteInteger(const std::string& section, const std::string& key, std::int32_t value);
};

class TComRegistry {
public:
    virtual ~TComRegistry() = default;
    // Values of the key the caller has opened. Reading a missing value throws whatever the
    // registry throws for it (there is no default).
    virtual std::string ReadString(const std::string& name) = 0;
    virtual void WriteString(const std::string& name, const std::string& value) = 0;
    virtual std::int32_t ReadInteger(const std::string& name) = 0;
    virtual void WriteInteger(const std::string& name, std::int32_t value) = 0;
};
