#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets, one file per edge case, into
tests/windows/fuzz/corpus/<target>/. The files are committed; run this again after changing a
case or a target's input layout. Each file is named after the case it holds.

Layouts (see the targets' comments):
  command_line   control byte (bits 0-1 lead bytes, bit 2 Windows 9x), [16-byte map], line
  settings       per key: present byte, 4-byte value when present; then 28 bytes of record
  config_dialog  per key as above; 4 check-box bytes; 4-byte messages
"""
import os
import shutil
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
KEYS = ["Sound", "Blank", "Coravendia", "Valtorne", "Speed", "Rate", "Volume"]

NO_LEAD, SJIS_LIKE, ALL_HIGH, MAPPED = 0, 1, 2, 3
WIN9X = 4


def command_line_seeds():
    line = {
        "name_only_quoted": b'"C:\\Program Files\\saver.scr"',
        "name_only": b"C:\\SAVER.SCR",
        "saver": b"C:\\SAVER.SCR /s",
        "saver_upper_dash": b"saver.scr -S",
        "saver_after_mixed_skips": b"saver.scr / - -/ /s",
        "switch_glued_to_name": b"saver.scr/s",
        "switch_after_closing_quote": b'"C:\\a b\\saver.scr"/s',
        "leading_blank_switch": b" /s",
        "leading_blank_path_c": b" C:\\saver.scr /s",
        "leading_blank_path_digit": b" 1saver.scr",
        "unclosed_quote": b'"C:\\saver.scr /s',
        "lone_quote": b'"',
        "empty": b"",
        "only_skips": b"saver.scr / - /",
        "preview_spaced": b"saver.scr /p 1234",
        "preview_glued": b"saver.scr /p1234",
        "preview_colon": b"saver.scr /p:1234",
        "preview_nothing": b"saver.scr /p",
        "preview_zero": b"saver.scr /p 0",
        "preview_trailing_text": b"saver.scr /p 123 abc",
        "preview_l": b"saver.scr /l 99",
        "preview_wraps": b"saver.scr /p 4294967297",
        "preview_tab": b"saver.scr /p\t12",
        "configure_colon_handle": b"saver.scr /c:1234",
        "unknown_letter": b"saver.scr /x",
        "digit_switch": b"saver.scr /5",
        "tab_before_letter": b"saver.scr /\ts",
        "tab_after_name": b"saver.scr\t/s",
        "control_blank_after_name": b"saver.scr\x01\x1f/s",
        "second_switch": b"saver.scr /s /c",
        "high_byte_switch": b"saver.scr /\xe9",
        "change_password": b"saver.scr /a 1234",
        "change_password_nothing": b"saver.scr /a",
    }
    for name, text in line.items():
        yield name, bytes([NO_LEAD]) + text
    yield "change_password_win9x", bytes([NO_LEAD | WIN9X]) + b"saver.scr /a 1234"
    yield "change_password_win9x_no_handle", bytes([NO_LEAD | WIN9X]) + b"saver.scr /A"
    # Double-byte names: a lead byte takes the next byte with it, whatever it is, but never
    # the terminating NUL.
    dbcs = {
        "dbcs_name": b"\x83\x5c\x83\x74\x83\x67.scr /s",
        "dbcs_trail_is_blank": b"\x81 /s",
        "dbcs_trail_is_quote": b'"\x81"x" /s',
        "dbcs_lead_at_end": b"saver\x81",
        "dbcs_quoted_lead_at_end": b'"saver\x81',
        "dbcs_lead_before_blank_run": b"\xe0\x20\x20/p 5",
    }
    for name, text in dbcs.items():
        yield name, bytes([SJIS_LIKE]) + text
        yield name + "_all_high", bytes([ALL_HIGH]) + text
    every_high = bytes([0xFF] * 16)
    yield "mapped_every_high_byte", bytes([MAPPED]) + every_high + b'"\xfe" \xff /s'
    yield "mapped_none", bytes([MAPPED | WIN9X]) + bytes(16) + b"\x80\x81 /a 7"


def profile(values):
    out = b""
    for key in KEYS:
        if key in values:
            out += b"\x01" + struct.pack("<i", values[key])
        else:
            out += b"\x00"
    return out


def record(values):
    return struct.pack("<7i", *values)


PROFILES = {
    "no_file": {},
    "defaults": {"Sound": 0, "Blank": 0, "Coravendia": 1, "Valtorne": 1, "Speed": 6, "Rate": 10, "Volume": 127},
    "speed_zero": {"Speed": 0},
    "speed_sixteen": {"Speed": 16},
    "speed_negative": {"Speed": -3},
    "speed_bounds_low": {"Speed": 1, "Rate": 1, "Volume": 0},
    "speed_bounds_high": {"Speed": 15, "Rate": 40, "Volume": 255},
    "rate_zero": {"Rate": 0},
    "rate_forty_one": {"Rate": 41},
    "volume_minus_one": {"Volume": -1},
    "volume_256": {"Volume": 256},
    "sound_seven": {"Sound": 7},
    "flags_extreme": {"Sound": -2147483648, "Blank": 2147483647, "Coravendia": 0, "Valtorne": -1},
    "ranged_extreme_low": {"Speed": -2147483648, "Rate": -2147483648, "Volume": -2147483648},
    "ranged_extreme_high": {"Speed": 2147483647, "Rate": 2147483647, "Volume": 2147483647},
    "just_out_of_range_negative": {"Speed": -1, "Rate": -1, "Volume": -255},
    "only_speed": {"Speed": 9},
}


def settings_seeds():
    garbage = record([-1, 12345, 0, 7, 99, -5, 1000])
    for name, values in PROFILES.items():
        yield name, profile(values) + garbage


def message(selector, code, word):
    return struct.pack("<BBH", selector, code, word)


def config_dialog_seeds():
    speed, rate, volume, other, none = 0 << 3, 1 << 3, 2 << 3, 3 << 3, 4 << 3
    boxes = bytes([1, 0, 1, 2])
    every_code = b""
    for bar in (speed, rate, volume):
        for code in list(range(10)) + [255]:
            every_code += message(bar, code, 65535 if code == 4 else 3)
    yield "every_code_on_every_bar", profile(PROFILES["defaults"]) + boxes + every_code
    yield "thumb_past_the_end", profile({}) + boxes + message(speed, 4, 65535) + message(rate, 4, 41) + \
        message(volume, 4, 256)
    yield "top_and_bottom", profile(PROFILES["speed_bounds_high"]) + boxes + \
        message(speed, 6, 0) + message(rate, 7, 0) + message(volume, 6, 0) + message(volume, 7, 0)
    yield "pages_past_the_ends", profile(PROFILES["speed_bounds_low"]) + boxes + \
        message(speed, 2, 0) * 5 + message(volume, 3, 0) * 30 + message(rate, 3, 0) * 12
    yield "other_controls_and_messages", profile(PROFILES["ranged_extreme_low"]) + boxes + \
        message(other, 1, 0) + message(none, 0, 0) + message(6, 0, 3) + message(7, 0, 0x0200)
    yield "bad_file_then_ok", profile(PROFILES["flags_extreme"]) + bytes([2, 2, 0, 1])


def write(target, seeds):
    directory = os.path.join(HERE, "corpus", target)
    shutil.rmtree(directory, ignore_errors=True)
    os.makedirs(directory)
    for name, data in seeds:
        with open(os.path.join(directory, name), "wb") as seed:
            seed.write(data)


def main():
    write("command_line", command_line_seeds())
    write("settings", settings_seeds())
    write("config_dialog", config_dialog_seeds())


if __name__ == "__main__":
    main()
