"""Counting a program's round trips to wineserver from the server's own trace
(wineserver -d1 writes one line per request and one per reply), for the
Wine benchmark's scan to request: which requests lie between the post of a
code's carriage return and the send of its datagram, and how many each
character of a code costs.

The names are Wine 8's: a posted message is "send_message", the datagram
goes out with "send_socket". The scanner's bytes reach the window as
WM_APP + 1 in lumivo.exe and in scan_floor.exe alike.
"""

import re
import statistics

REQUEST = re.compile(r"^([0-9a-f]{4}): (\w+)\( ")
SCANNER_BYTE = "msg=00008001"
CARRIAGE_RETURN = "wparam=0000000d"
DATAGRAM_SENT = "send_socket"


def requests(text):
    """(thread, request, line) for each request in a stretch of the trace;
    replies and the server's own notes are left out."""
    found = []
    for line in text.splitlines():
        match = REQUEST.match(line)
        if match:
            found.append((match.group(1), match.group(2), line))
    return found


def is_byte_post(request):
    return request[1] == "send_message" and SCANNER_BYTE in request[2]


def count(text):
    """Per code: the requests from the post of its carriage return to the
    send of its datagram, both counted, as (thread, name); and the requests
    from the post of its first character to the post of its carriage
    return, with the number of characters. Returns both lists."""
    after_return = []
    before_return = []
    between_characters = []  # from one character's post to the next's
    current = None
    character = None
    first_post = None
    characters = 0
    for index, request in enumerate(requests(text)):
        if is_byte_post(request):
            if character is not None:
                between_characters.append(character)
            character = None
            if CARRIAGE_RETURN in request[2]:
                if first_post is not None:
                    before_return.append((index - first_post, characters))
                first_post, characters = None, 0
                current = []
                after_return.append(current)
            else:
                if first_post is None:
                    first_post = index
                characters += 1
                character = []
        if current is not None:
            current.append(request[:2])
            if request[1] == DATAGRAM_SENT:
                current = None
        if character is not None:
            character.append(request[:2])
    completed = [trip for trip in after_return if trip[-1][1] == DATAGRAM_SENT]
    return completed, before_return, between_characters


def typical_names(trips):
    """The requests of the trip of median length, the reader thread's (the
    one that posted the byte) marked "r:"."""
    lengths = [len(trip) for trip in trips]
    typical = min(trips, key=lambda trip: abs(len(trip) - statistics.median(lengths)))
    reader = typical[0][0]
    return " ".join(("r:" if thread == reader else "") + name for thread, name in typical)


def summary(who, text):
    """Lines that say what the trace shows for one program. The reader
    thread's requests (it posted the carriage return) are marked "r:"."""
    after_return, before_return, between_characters = count(text)
    if not after_return:
        return [f"{who}: no carriage return followed by a datagram in the trace"]
    lengths = [len(trip) for trip in after_return]
    per_character = statistics.median(n / characters for n, characters in before_return)
    return [f"{who}: carriage return posted to datagram sent, {len(after_return)} codes: "
            f"median {statistics.median(lengths):g} requests (least {min(lengths)}, most "
            f"{max(lengths)}); one of the median: {typical_names(after_return)}",
            f"{who}: the code's characters before it, first posted to carriage return "
            f"posted: median {per_character:.1f} requests a character (both threads); "
            f"one character of the median: {typical_names(between_characters)}"]
