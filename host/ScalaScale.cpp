#include "host/ScalaScale.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>

#include "host/HostError.h"

namespace marvex {
namespace {

std::string trimmed(const std::string& line) {
    const auto first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    return line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
}

// A whole decimal number from the start of `text`; nothing if `text` holds something else.
bool wholeNumber(const std::string& text, long long& value) {
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0]))) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtoll(text.c_str(), &end, 10);
    return errno == 0 && *end == '\0';
}

// One degree: cents if the value has a '.', else a ratio "n/d" or a whole number "n".
std::optional<double> degreeCents(const std::string& line) {
    std::istringstream words(line);
    std::string value;
    words >> value;  // anything after the value is a label
    if (value.find('.') != std::string::npos) {
        char* end = nullptr;
        const double cents = std::strtod(value.c_str(), &end);
        if (end == value.c_str() || *end != '\0' || !std::isfinite(cents)) return {};
        return cents;
    }
    const auto slash = value.find('/');
    long long numerator = 0, denominator = 1;
    if (!wholeNumber(value.substr(0, slash), numerator)) return {};
    if (slash != std::string::npos && !wholeNumber(value.substr(slash + 1), denominator)) return {};
    if (numerator <= 0 || denominator <= 0) return {};
    return 1200.0 * std::log2(static_cast<double>(numerator) / static_cast<double>(denominator));
}

}  // namespace

ScalaScale parseScala(const std::string& text, const std::string& fileName) {
    ScalaScale scale;
    std::istringstream lines(text);
    std::string line;
    int lineNumber = 0;
    int readLines = 0;  // lines that are not comments
    long long count = 0;
    auto fail = [&](const std::string& why) {
        throw HostError(HostErrorKind::Input,
                        fileName + ":" + std::to_string(lineNumber) + ": " + why);
    };
    while (std::getline(lines, line)) {
        ++lineNumber;
        if (!line.empty() && line[0] == '!') continue;
        if (readLines == 0) {
            scale.description = trimmed(line);
        } else if (readLines == 1) {
            std::istringstream words(line);
            std::string first;
            words >> first;
            if (!wholeNumber(first, count))
                fail("expected the number of degrees, found '" + trimmed(line) + "'");
            if (count == 0) fail("a scale needs at least one degree");
        } else if (static_cast<long long>(scale.degreesCents.size()) < count) {
            const auto cents = degreeCents(trimmed(line));
            if (!cents)
                fail("not a degree (cents with a '.', or a positive ratio): '" + trimmed(line) +
                     "'");
            if (*cents <= (scale.degreesCents.empty() ? 0.0 : scale.degreesCents.back()))
                fail("degrees must rise above the tonic and each other");
            scale.degreesCents.push_back(*cents);
        }
        ++readLines;
    }
    if (readLines < 2) fail("expected a description line and the number of degrees");
    if (static_cast<long long>(scale.degreesCents.size()) < count)
        fail("the file ends after " + std::to_string(scale.degreesCents.size()) + " of " +
             std::to_string(count) + " degrees");
    return scale;
}

ScalaScale readScalaFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw HostError(HostErrorKind::Input, "cannot read scale file '" + path + "'");
    std::ostringstream text;
    text << in.rdbuf();
    return parseScala(text.str(), path);
}

}  // namespace marvex
