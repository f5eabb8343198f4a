// Message framing: a text message is a header block, an empty line and a
// body whose length the header "Content-Length" (or its compact form "l")
// gives. These functions find the parts of a received text and tell whether
// it holds a whole message yet. Results are views of the text's buffer.
#pragma once

#include "lib/str.h"

// Position just past the empty line that ends the header block, or 0 when
// there is none. A CR LF CR LF anywhere wins over an earlier CR CR or LF LF.
int find_header_end(const str& text);

// The text after the header block, or the empty string when the header
// block has not ended.
str get_message_body(const str& text);

// The first whole message at the start of text: header block and as many
// body bytes as the length header asks for. The empty string while the
// text holds no whole message. Without a length header the message is the
// whole text, or with headers_only_when_unsized the header block alone.
str get_complete_message(const str& text, bool headers_only_when_unsized);
