# Expired: valid until 2021-06-30.
pin=1234
cardNumber=TP0000000000000601
idno=C123456789
serialNumber=0601
signCert=sign.pem
encryptCert=encrypt.pem
signKey=sign.pfx
encryptKey=encrypt.pfx
keyPassword=test
