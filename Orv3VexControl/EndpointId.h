// An endpoint id as the session tables look it up: the caller's NUL-terminated text, with its
// length counted once. The control handle keeps the length of its id, so a set or a get through
// a handle never walks the id's characters to find a session.
#pragma once

#include "Platform.h"

#include <string>
#include <string_view>

class EndpointId {
public:
    // The text must stay alive, unchanged, while the id is in use.
    EndpointId(const WCHAR* text) noexcept  // NOLINT(google-explicit-constructor)
        : m_text(text), m_length(std::char_traits<WCHAR>::length(text)) {}
    // text[length] must be the terminating NUL.
    EndpointId(const WCHAR* text, size_t length) noexcept : m_text(text), m_length(length) {}

    const WCHAR* Text() const noexcept { return m_text; }
    std::basic_string_view<WCHAR> View() const noexcept { return {m_text, m_length}; }

private:
    const WCHAR* m_text;
    size_t m_length;
};
