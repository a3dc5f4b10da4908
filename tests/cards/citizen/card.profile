# A citizen card of the first authority.
pin=1234
cardNumber=TP0000000000000101
idno=A123456789
serialNumber=0101
signCert=sign.pem
encryptCert=encrypt.pem
signKey=sign.pfx
encryptKey=encrypt.pfx
keyPassword=test
