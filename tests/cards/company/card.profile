# A company card; serials with the high bit set.
pin=1234
cardNumber=TP0000000000000201
idno=12345678
serialNumber=0201
signCert=sign.pem
encryptCert=encrypt.pem
signKey=sign.pfx
encryptKey=encrypt.pfx
keyPassword=test
