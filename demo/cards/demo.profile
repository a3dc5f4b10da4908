# The demo's virtual card (see virtualcard/README.md for the keys).
pin=1234
cardNumber=TP0000000000000001
