#include "admin/xml_reader.h"

#include <cstdint>

namespace orvix::admin {
namespace {

constexpr int kMaxDepth = 64;

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool is_name_char(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return u >= 0x80 || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           c == '_' || c == ':' || c == '-' || c == '.';
}

std::string local_name(const std::string& qualified) {
    const size_t colon = qualified.find(':');
    return colon == std::string::npos ? qualified : qualified.substr(colon + 1);
}

void append_utf8(uint32_t code, std::string* out) {
    if (code < 0x80) {
        out->push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (code >> 6)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (code >> 12)));
        out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (code >> 18)));
        out->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

class Parser {
  public:
    explicit Parser(std::string_view text) : text_(text) {}

    bool document(XmlElement* root, std::string* error) {
        if (text_.size() >= 2 &&
            ((text_[0] == '\xFF' && text_[1] == '\xFE') || (text_[0] == '\xFE' && text_[1] == '\xFF'))) {
            return fail("the file is UTF-16; save it as UTF-8", error);
        }
        if (text_.substr(0, 3) == "\xEF\xBB\xBF") pos_ = 3;
        if (!misc(error)) return false;
        if (!at("<")) return fail("no root element", error);
        if (!element(root, 0, error)) return false;
        if (!misc(error)) return false;
        if (pos_ != text_.size()) return fail("text after the root element", error);
        return true;
    }

  private:
    bool at(std::string_view s) const { return text_.substr(pos_, s.size()) == s; }

    void advance(size_t n) {
        for (size_t i = 0; i < n && pos_ < text_.size(); ++i, ++pos_) {
            if (text_[pos_] == '\n') ++line_;
        }
    }

    void skip_spaces() {
        while (pos_ < text_.size() && is_space(text_[pos_])) advance(1);
    }

    bool fail(const std::string& what, std::string* error) const {
        *error = "line " + std::to_string(line_) + ": " + what;
        return false;
    }

    // Skips to just after terminator; false when the text ends first.
    bool skip_past(std::string_view terminator) {
        const size_t end = text_.find(terminator, pos_);
        if (end == std::string_view::npos) return false;
        advance(end + terminator.size() - pos_);
        return true;
    }

    // White space, comments and processing instructions outside the root element.
    bool misc(std::string* error) {
        for (;;) {
            skip_spaces();
            if (at("<?")) {
                if (!skip_past("?>")) return fail("unterminated processing instruction", error);
            } else if (at("<!--")) {
                if (!skip_past("-->")) return fail("unterminated comment", error);
            } else if (at("<!")) {
                return fail("document type declarations are not accepted", error);
            } else {
                return true;
            }
        }
    }

    bool name(std::string* out, std::string* error) {
        const size_t start = pos_;
        while (pos_ < text_.size() && is_name_char(text_[pos_])) ++pos_;
        if (pos_ == start) return fail("a name is expected", error);
        out->assign(text_.substr(start, pos_ - start));
        return true;
    }

    // Decodes the references of raw into out.
    bool decode(std::string_view raw, std::string* out, std::string* error) {
        for (size_t i = 0; i < raw.size();) {
            if (raw[i] != '&') {
                out->push_back(raw[i++]);
                continue;
            }
            const size_t semicolon = raw.find(';', i);
            if (semicolon == std::string_view::npos || semicolon - i > 12)
                return fail("bad reference", error);
            const std::string_view ref = raw.substr(i + 1, semicolon - i - 1);
            if (ref == "lt") {
                out->push_back('<');
            } else if (ref == "gt") {
                out->push_back('>');
            } else if (ref == "amp") {
                out->push_back('&');
            } else if (ref == "quot") {
                out->push_back('"');
            } else if (ref == "apos") {
                out->push_back('\'');
            } else if (ref.size() >= 2 && ref[0] == '#') {
                const bool hex = ref[1] == 'x';
                const std::string_view digits = ref.substr(hex ? 2 : 1);
                if (digits.empty()) return fail("bad character reference", error);
                uint32_t code = 0;
                for (char c : digits) {
                    uint32_t d;
                    if (c >= '0' && c <= '9') {
                        d = static_cast<uint32_t>(c - '0');
                    } else if (hex && c >= 'a' && c <= 'f') {
                        d = static_cast<uint32_t>(c - 'a' + 10);
                    } else if (hex && c >= 'A' && c <= 'F') {
                        d = static_cast<uint32_t>(c - 'A' + 10);
                    } else {
                        return fail("bad character reference", error);
                    }
                    code = code * (hex ? 16 : 10) + d;
                    if (code > 0x10FFFF) return fail("bad character reference", error);
                }
                if (code == 0 || (code >= 0xD800 && code <= 0xDFFF))
                    return fail("bad character reference", error);
                append_utf8(code, out);
            } else {
                return fail("unknown entity &" + std::string(ref) + ";", error);
            }
            i = semicolon + 1;
        }
        return true;
    }

    bool element(XmlElement* out, int depth, std::string* error) {
        if (depth >= kMaxDepth) return fail("elements nested too deeply", error);
        out->line = line_;
        advance(1);  // '<'
        std::string qualified;
        if (!name(&qualified, error)) return false;
        out->name = local_name(qualified);
        for (;;) {
            const size_t before = pos_;
            skip_spaces();
            if (pos_ >= text_.size()) return fail("unterminated start tag <" + qualified + ">", error);
            if (at("/>")) {
                advance(2);
                return true;
            }
            if (at(">")) {
                advance(1);
                break;
            }
            if (pos_ == before) return fail("white space is expected between attributes", error);
            std::string attribute;
            if (!name(&attribute, error)) return false;
            skip_spaces();
            if (!at("=")) return fail("'=' is expected after " + attribute, error);
            advance(1);
            skip_spaces();
            if (pos_ >= text_.size() || (text_[pos_] != '"' && text_[pos_] != '\'')) {
                return fail("a quoted value is expected for " + attribute, error);
            }
            const char quote = text_[pos_];
            const size_t end = text_.find(quote, pos_ + 1);
            if (end == std::string_view::npos) return fail("unterminated value of " + attribute, error);
            const std::string_view raw = text_.substr(pos_ + 1, end - pos_ - 1);
            if (raw.find('<') != std::string_view::npos)
                return fail("'<' in the value of " + attribute, error);
            std::string value;
            if (!decode(raw, &value, error)) return false;
            advance(end + 1 - pos_);
            if (attribute.rfind("xmlns", 0) != 0) out->attributes.emplace_back(local_name(attribute), value);
        }
        // Content up to the matching end tag.
        for (;;) {
            if (pos_ >= text_.size()) return fail("<" + qualified + "> is not closed", error);
            if (at("</")) {
                advance(2);
                std::string closing;
                if (!name(&closing, error)) return false;
                if (closing != qualified) return fail("</" + closing + "> closes <" + qualified + ">", error);
                skip_spaces();
                if (!at(">")) return fail("unterminated end tag </" + closing + ">", error);
                advance(1);
                return true;
            }
            if (at("<!--")) {
                if (!skip_past("-->")) return fail("unterminated comment", error);
            } else if (at("<![CDATA[")) {
                advance(9);
                const size_t end = text_.find("]]>", pos_);
                if (end == std::string_view::npos) return fail("unterminated CDATA section", error);
                out->text.append(text_.substr(pos_, end - pos_));
                advance(end + 3 - pos_);
            } else if (at("<?")) {
                if (!skip_past("?>")) return fail("unterminated processing instruction", error);
            } else if (at("<!")) {
                return fail("declarations are not accepted inside elements", error);
            } else if (at("<")) {
                out->children.emplace_back();
                if (!element(&out->children.back(), depth + 1, error)) return false;
            } else {
                size_t end = text_.find('<', pos_);
                if (end == std::string_view::npos) end = text_.size();
                if (!decode(text_.substr(pos_, end - pos_), &out->text, error)) return false;
                advance(end - pos_);
            }
        }
    }

    std::string_view text_;
    size_t pos_ = 0;
    int line_ = 1;
};

}  // namespace

const std::string* XmlElement::attribute(std::string_view local) const {
    for (const auto& a : attributes) {
        if (a.first == local) return &a.second;
    }
    return nullptr;
}

const XmlElement* XmlElement::child(std::string_view local) const {
    for (const auto& c : children) {
        if (c.name == local) return &c;
    }
    return nullptr;
}

bool parse_xml(std::string_view text, XmlElement* root, std::string* error) {
    *root = XmlElement{};
    return Parser(text).document(root, error);
}

std::string xml_escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

}  // namespace orvix::admin
