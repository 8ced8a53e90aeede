"""The display's frames, written out once more on the test side from the
protocol's rules, to check the bytes that reach the display."""

DATA = b"DATA"
ACK = bytes.fromhex("4F4B664E455854C1")


def checksum(body: bytes) -> int:
    return (256 - sum(body) % 256) % 256


def frame(body: bytes) -> bytes:
    return body + bytes([checksum(body)])


def data(code: int, payload: bytes = b"") -> bytes:
    assert len(payload) <= 10
    return frame(DATA + bytes([code]) + payload + bytes(10 - len(payload)))


PROG = frame(b"PROG")
SHORT_BEEP = data(90)
LONG_BEEP_ON = data(91)
LONG_BEEP_OFF = data(92)
CLEAR = data(97)
REFRESH = data(98)
END = data(99)

NAMES = {PROG: "PROG", SHORT_BEEP: "short beep", LONG_BEEP_ON: "long beep on",
         LONG_BEEP_OFF: "long beep off", CLEAR: "clear", REFRESH: "refresh", END: "end"}

SCROLL = {"Na przemian": 1, "Co znak": 2, "Płynące": 4}


def ram_text(n: int, text: str) -> bytes:
    return data(10 + n, text.encode("cp1250"))


def eeprom_text(n: int, text: str) -> bytes:
    return data(n, text.encode("cp1250"))


def ram_parameters(scroll: str, screens: int, speed: int, brightness: int) -> bytes:
    return data(10, bytes([SCROLL[scroll], screens, speed, brightness]))


def eeprom_parameters(scroll: str, speed: int, brightness: int) -> bytes:
    return data(0, bytes([SCROLL[scroll], 5, speed, brightness]))


def clock(text: str) -> bytes:
    """The clock frame for the five characters of the time field: digits
    packed two to a byte, anything else counting as 0."""
    def digit(i):
        c = text[i] if i < len(text) else " "
        return int(c) if c in "0123456789" else 0
    return data(80, bytes([digit(0) * 16 + digit(1), digit(3) * 16 + digit(4)]))


def describe(frame_bytes: bytes) -> str:
    if frame_bytes in NAMES:
        return NAMES[frame_bytes]
    if len(frame_bytes) == 16 and frame_bytes.startswith(DATA):
        code = frame_bytes[4]
        payload = frame_bytes[5:15].rstrip(b"\0").decode("cp1250", "replace")
        if 11 <= code <= 18:
            return f"RAM {code - 10} {payload!r}"
        if 1 <= code <= 5:
            return f"EEPROM {code} {payload!r}"
        if code in (0, 10):
            return f"{'RAM' if code else 'EEPROM'} parameters {frame_bytes[5:9].hex(' ')}"
        if code == 80:
            return f"clock {frame_bytes[5]:02x}:{frame_bytes[6]:02x}"
    return frame_bytes.hex(" ")
