# Revoked: both serials are in revoked-serials.txt.
pin=1234
cardNumber=TP0000000000000701
idno=D223456789
serialNumber=0701
signCert=sign.pem
encryptCert=encrypt.pem
signKey=sign.pfx
encryptKey=encrypt.pfx
keyPassword=test
