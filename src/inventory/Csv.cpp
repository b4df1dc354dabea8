#include "inventory/Csv.h"

namespace zm880::inventory {

std::string CsvField(std::string_view field) {
    const bool quoted = field.find_first_of(",\"\r\n") != std::string_view::npos ||
                        (!field.empty() && (field.front() == ' ' || field.back() == ' '));
    if (!quoted) {
        return std::string(field);
    }
    std::string text = "\"";
    for (const char c : field) {
        if (c == '"') {
            text += '"';
        }
        text += c;
    }
    return text + '"';
}

std::string CsvRecord(const std::vector<std::string>& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) {
            line += ',';
        }
        line += CsvField(fields[i]);
    }
    return line + "\r\n";
}

}  // namespace zm880::inventory
