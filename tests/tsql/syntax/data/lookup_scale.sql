Select FScale
From t_Currency
where FCurrencyID=(Select top 1 FValue from t_Systemprofile Where FCategory='GL' And FKey='FBWB')
