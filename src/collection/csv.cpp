#include "collection/csv.h"

std::string csvRecord(const std::vector<std::string>& fields) {
    std::string out;
    for (size_t k = 0; k < fields.size(); ++k) {
        if (k > 0) out += ',';
        const std::string& field = fields[k];
        if (field.find_first_of(",\"\r\n") == std::string::npos) {
            out += field;
            continue;
        }
        out += '"';
        for (const char c : field) {
            if (c == '"') out += '"';
            out += c;
        }
        out += '"';
    }
    return out + "\r\n";
}

std::vector<std::vector<std::string>> csvRecords(std::string_view text, size_t& complete) {
    std::vector<std::vector<std::string>> records;
    std::vector<std::string> record;
    std::string field;
    complete = 0;
    size_t k = 0;
    bool quoted = false, started = false;
    while (k < text.size()) {
        const char c = text[k];
        if (quoted) {
            if (c == '"' && k + 1 < text.size() && text[k + 1] == '"') {
                field += '"';
                k += 2;
            } else if (c == '"') {
                quoted = false;
                ++k;
            } else {
                field += c;
                ++k;
            }
            continue;
        }
        if (c == '"' && !started) {
            quoted = true;
            started = true;
            ++k;
        } else if (c == ',') {
            record.push_back(std::move(field));
            field.clear();
            started = false;
            ++k;
        } else if (c == '\r' || c == '\n') {
            // CR LF ends a record; a lone LF too, for files edited elsewhere.
            k += c == '\r' && k + 1 < text.size() && text[k + 1] == '\n' ? 2u : 1u;
            if (c == '\r' && k == text.size() && text.back() == '\r') break;  // LF still to come
            record.push_back(std::move(field));
            field.clear();
            started = false;
            records.push_back(std::move(record));
            record.clear();
            complete = k;
        } else {
            field += c;
            started = true;
            ++k;
        }
    }
    return records;
}
