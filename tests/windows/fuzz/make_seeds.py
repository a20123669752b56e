#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets, one file per edge case, into
tests/windows/fuzz/corpus/<target>/. The files are committed; run this again after changing a
case or a target's input layout. Each file is named after the case it holds.

Layouts (see the targets' comments):
  command_line   control byte (bits 0-1 lead bytes, bit 2 Windows 9x), [16-byte map], line
  settings       per key: present byte, 4-byte value when present; then 28 bytes of record
  config_dialog  per key as above; 4 check-box bytes; 4-byte messages
  bitmap_file, wave_sound   a picture or a sound file as it is
  linux_options  the arguments after the program's name, each ended by a NUL
  xft_dpi        the value of Xft.dpi
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


def bitmap(width, height, header=40, used=0, file_header=True, bits=8):
    pitch = (width + 3) & ~3
    palette = (used or 256) * 4
    info = struct.pack("<IiiHHIIiiII", header, width, height, 1, bits, 0, 0, 0, 0, used, 0)
    body = info + b"\x10\x20\x30\x00" * (used or 256) + bytes(i % 251 for i in range(pitch * abs(height)))
    head = struct.pack("<2sIHHI", b"BM", 14 + len(body), 0, 0, 14 + 40 + palette) if file_header else b""
    return head + body


def bitmap_file_seeds():
    yield "bottom_up", bitmap(5, 3)
    yield "top_down_small_palette", bitmap(3, -2, used=2)
    yield "resource_without_file_header", bitmap(4, 2, used=16, file_header=False)
    # A header size that wraps a 32-bit size_t around to just before the image.
    yield "header_size_wraps", bitmap(4, 1, header=0xFFFFFFFF, file_header=False) + bytes(64)
    yield "not_8_bits", bitmap(2, 2, bits=24)


def chunk(name, data, size=None):
    return name + struct.pack("<I", len(data) if size is None else size) + data + b"\0" * (len(data) & 1)


def wave(*chunks):
    body = b"WAVE" + b"".join(chunks)
    return b"RIFF" + struct.pack("<I", len(body)) + body


def fmt(channels, rate, bits):
    return chunk(b"fmt ", struct.pack("<HHIIHH", 1, channels, rate, rate * channels * bits // 8,
                                      channels * bits // 8, bits))


def wave_sound_seeds():
    yield "mono_8_bit", wave(fmt(1, 11025, 8), chunk(b"data", bytes(range(0, 250, 7))))
    yield "stereo_16_bit_odd_chunk_first", wave(chunk(b"LIST", b"odd"), fmt(2, 44100, 16), chunk(b"data", bytes(40)))
    yield "data_longer_than_file", wave(fmt(1, 22050, 16), chunk(b"data", bytes(10), size=1000))
    # Chunk sizes that wrap a 32-bit size_t: back onto the same chunk, or before the image.
    yield "chunk_size_wraps_to_itself", wave(fmt(1, 8000, 8), chunk(b"junk", b"", size=0xFFFFFFF8),
                                             chunk(b"data", bytes(8)))
    yield "chunk_size_odd_wraps", wave(chunk(b"junk", b"", size=0xFFFFFFF7), fmt(1, 8000, 8))
    yield "chunk_sizes_wrap_before_the_image", wave(chunk(b"junk", b"", size=0xFFFFFFFF),
                                                    chunk(b"back", b"", size=0xFFFFFFE0), bytes(20))
    yield "chunk_size_steps_back", wave(fmt(1, 8000, 8), chunk(b"junk", b"", size=0xFFFFFFF0),
                                        chunk(b"data", bytes(8)))


def linux_options_seeds():
    lines = {
        "xscreensaver_entry": "-root -delay 20000 -fps -install -visual TrueColor -display :0",
        "toolkit_generic": "-synchronous -iconic -rv +rv -bw 2 -bd red -fn fixed -selectionTimeout 5 -xnllanguage C "
                           "-geometry 640x480-0+0 -bg navy -fg #fff -name n -title t -xrm Xft.dpi:192",
        "cut_short": "-roo -inst -sp 12 --vol=9 -w",
        "value_looks_like_option": "-bw --sound -fn --speed 3",
        "every_setting": "--speed 15 --rate=40 --volume +255 --no-sound --blank --no-coravendia --valtorne",
        "numbers_past_their_ranges": "--speed 99999999999999999999 -delay -1 --scale 9 --seed 4294967296",
        "window_ids": "--window-id 0x1e00007 -window-id 0 -window",
        "help_version_wayland": "--wayland --steps 1 --seed 0 -h --version",
    }
    for name, line in lines.items():
        yield name, b"\0".join(arg.encode() for arg in line.split(" "))
    yield "empty_and_lone_dashes", b"\0-\0--\0+\0--=5"


def xft_dpi_seeds():
    for name, text in (("plain", "96"), ("just_under_2", "143.999"), ("just_2", "144"), ("blanks", " \t192.0 "),
                       ("past_32_bits", "2147484"), ("far_past", "99999999999.9"), ("empty", ""), ("word", "dpi"),
                       ("negative", "-192"), ("fraction_only", ".5"), ("exponent", "1e3")):
        yield name, text.encode()


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
    write("bitmap_file", bitmap_file_seeds())
    write("wave_sound", wave_sound_seeds())
    write("linux_options", linux_options_seeds())
    write("xft_dpi", xft_dpi_seeds())


if __name__ == "__main__":
    main()
