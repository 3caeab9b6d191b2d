# Copies Debian's JUCE 7.0.5 modules into the build tree with the program's mends applied, once per
# change of this file. Each mend is a plain text replacement that must match exactly, so a JUCE
# update that moves the code stops the configure step instead of dropping the mend silently.

function (quillon_replace_in_file path old new)
    file (READ "${path}" text)
    string (FIND "${text}" "${old}" found)
    if (found EQUAL -1)
        message (FATAL_ERROR "JUCE mend does not apply to ${path}")
    endif()
    string (REPLACE "${old}" "${new}" text "${text}")
    file (WRITE "${path}" "${text}")
endfunction()

function (quillon_patch_juce_modules source destination)
    file (SHA256 "${CMAKE_CURRENT_FUNCTION_LIST_FILE}" patches_hash)
    set (stamp "${destination}/.quillon-patches")

    if (EXISTS "${stamp}")
        file (READ "${stamp}" done_hash)
        if (done_hash STREQUAL patches_hash)
            return()
        endif()
    endif()

    file (REMOVE_RECURSE "${destination}")
    file (COPY "${source}/" DESTINATION "${destination}")

    # Recent clang rejects this unused constructor template before it is ever instantiated.
    quillon_replace_in_file ("${destination}/juce_audio_processors/processors/juce_AudioPluginInstance.h"
        "    template <size_t numLayouts>\n    AudioPluginInstance (const short channelLayoutList[numLayouts][2]) : AudioProcessor (channelLayoutList) {}\n"
        "")

    # A String made from bytes that are not UTF-8 counts fewer bytes than it then copies: a file
    # name holding a lone 0x80 writes past its heap block. Such entries are skipped, as if the
    # wildcard had not matched them.
    set (listing "${destination}/juce_core/native/juce_linux_CommonFile.cpp")
    quillon_replace_in_file ("${listing}"
        "                if (fnmatch (wildcardUTF8, de->d_name, FNM_CASEFOLD) == 0)\n"
        "                if (fnmatch (wildcardUTF8, de->d_name, FNM_CASEFOLD) == 0 && isStrictUtf8Name (de->d_name))\n")
    # JUCE's own CharPointer_UTF8::isValidString lets overlong forms through, which decode to fewer bytes.
    quillon_replace_in_file ("${listing}"
        "class DirectoryIterator::NativeIterator::Pimpl\n"
        "static bool isStrictUtf8Name (const char* name) noexcept\n{\n    for (auto* s = reinterpret_cast<const unsigned char*> (name); *s != 0;)\n    {\n        const unsigned c = *s;\n        if (c < 0x80) { ++s; continue; }\n        int extra = 0;\n        unsigned code = 0, minimum = 0;\n        if (c >= 0xc2 && c <= 0xdf)      { extra = 1; code = c & 0x1fu; minimum = 0x80; }\n        else if (c >= 0xe0 && c <= 0xef) { extra = 2; code = c & 0x0fu; minimum = 0x800; }\n        else if (c >= 0xf0 && c <= 0xf4) { extra = 3; code = c & 0x07u; minimum = 0x10000; }\n        else return false;\n        for (int i = 1; i <= extra; ++i)\n        {\n            if ((s[i] & 0xc0) != 0x80) return false;\n            code = (code << 6) | (s[i] & 0x3fu);\n        }\n        if (code < minimum || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)) return false;\n        s += extra + 1;\n    }\n    return true;\n}\n\nclass DirectoryIterator::NativeIterator::Pimpl\n")

    file (WRITE "${stamp}" "${patches_hash}")
endfunction()
