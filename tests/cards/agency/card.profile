# A government agency card.
pin=1234
cardNumber=TP0000000000000301
idno=2000000001
serialNumber=0301
signCert=sign.pem
encryptCert=encrypt.pem
signKey=sign.pfx
encryptKey=encrypt.pfx
keyPassword=test
