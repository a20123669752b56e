"""A sound card that records, for the end-to-end tests of every platform that plays sound:
an ALSA "file" PCM writes every frame it is given to a file (%s in FILE_SINK) and hands it on
to the "null" PCM, which discards it. A HOME whose ~/.asoundrc holds it sends there whatever
a program plays through ALSA's default device."""

FILE_SINK = 'pcm.!default {\n    type file\n    slave.pcm "null"\n    file "%s"\n    format "raw"\n}\n'
