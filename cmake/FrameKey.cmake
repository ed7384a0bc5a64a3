# The frame key is shared with the modules' firmware, so it is chosen when the
# tool is built, not at run time. The default is a placeholder: build with the
# key of your modules, e.g. cmake -DKESTREL_FRAME_KEY=<32 hex digits>.
set(KESTREL_FRAME_KEY "2B7E151628AED2A6ABF7158809CF4F3C" CACHE STRING
    "AES-128 frame key shared with the module firmware, as 32 hexadecimal digits")

string(LENGTH "${KESTREL_FRAME_KEY}" _keyLength)
if(NOT _keyLength EQUAL 32 OR NOT KESTREL_FRAME_KEY MATCHES "^[0-9A-Fa-f]+$")
    message(FATAL_ERROR
        "KESTREL_FRAME_KEY must be exactly 32 hexadecimal digits (16 bytes), got \"${KESTREL_FRAME_KEY}\"")
endif()

# 0x2B, 0x7E, ... for the generated header
string(REGEX REPLACE "([0-9A-Fa-f][0-9A-Fa-f])" "0x\\1, " KESTREL_FRAME_KEY_BYTES "${KESTREL_FRAME_KEY}")
string(REGEX REPLACE ", $" "" KESTREL_FRAME_KEY_BYTES "${KESTREL_FRAME_KEY_BYTES}")
